#include "codecs/DecodeMemoryGate.h"

#include <utility>

DecodeMemoryGate::Hold::Hold(Hold&& other) noexcept
    : m_gate(std::exchange(other.m_gate, nullptr)), m_bytes(std::exchange(other.m_bytes, 0)) {}

DecodeMemoryGate::Hold::~Hold() {
    if (m_gate != nullptr) m_gate->Leave(m_bytes);
}

DecodeMemoryGate& DecodeMemoryGate::Process() {
    static DecodeMemoryGate gate;
    return gate;
}

DecodeMemoryGate::Hold DecodeMemoryGate::Enter(std::uint64_t bytes, std::uint64_t budget) {
    std::unique_lock lock(m_mutex);
    const std::uint64_t ticket = m_nextTicket++;
    m_changed.wait(
        lock, [&] { return ticket == m_serving && (m_held == 0 || (m_held <= budget && bytes <= budget - m_held)); });
    m_held += bytes;
    ++m_serving;
    lock.unlock();
    // The next in line may fit too.
    m_changed.notify_all();
    return Hold(this, bytes);
}

std::uint64_t DecodeMemoryGate::Held() const {
    std::lock_guard lock(m_mutex);
    return m_held;
}

void DecodeMemoryGate::Leave(std::uint64_t bytes) {
    {
        std::lock_guard lock(m_mutex);
        m_held -= bytes;
    }
    m_changed.notify_all();
}
