// One memory budget for all the decodes a process runs at once. Each decode is
// refused when its own need exceeds the budget; the gate also keeps decodes running
// side by side (the viewer's frame readers, its range pass, a thumbnail) from
// together taking several budgets: a decode whose need does not fit beside those
// running waits until enough of them end. Decodes enter in the order they asked, so
// a large one is not overtaken for ever by small ones.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

class DecodeMemoryGate {
public:
    // Holds its bytes until it goes.
    class Hold {
    public:
        Hold(Hold&& other) noexcept;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        Hold& operator=(Hold&&) = delete;
        ~Hold();

    private:
        friend class DecodeMemoryGate;
        Hold(DecodeMemoryGate* gate, std::uint64_t bytes) : m_gate(gate), m_bytes(bytes) {}
        DecodeMemoryGate* m_gate;
        std::uint64_t m_bytes;
    };

    // The process's gate, shared by every decode.
    static DecodeMemoryGate& Process();

    // Waits until `bytes` fit beside what is held within `budget` (at once when nothing
    // is held, so that a need at the budget's size still runs), then holds them.
    Hold Enter(std::uint64_t bytes, std::uint64_t budget);
    // The bytes held now.
    std::uint64_t Held() const;

private:
    void Leave(std::uint64_t bytes);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_held = 0;
    std::uint64_t m_nextTicket = 0;
    std::uint64_t m_serving = 0;
};
