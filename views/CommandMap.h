// Command routing: each object on the routing path (view, document, child frame,
// application, main frame) owns a CommandMap that says which commands it handles and,
// optionally, how to set their enabled and checked state. The main frame walks the
// maps in order; the first map that holds a command handles it, and a command that no
// map holds is disabled.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <vector>

// What an update handler may set for one command.
struct CommandUi {
    bool enabled = true;
    std::optional<bool> checked;  // unset: the command shows no check mark

    void Enable(bool on) { enabled = on; }
    void SetCheck(bool on) { checked = on; }
};

class CommandMap {
public:
    using Handler = std::function<void()>;
    using UpdateHandler = std::function<void(CommandUi&)>;

    // Registers the handler of `id`, and optionally its update handler.
    void On(int id, Handler handler, UpdateHandler update = {});
    bool Handles(int id) const { return m_entries.count(id) != 0; }
    // Runs the handler; false when this map does not hold `id`.
    bool Execute(int id) const;
    // Fills `ui` (enabled, no check by default, then the update handler); false when
    // this map does not hold `id`.
    bool Update(int id, CommandUi& ui) const;

private:
    struct Entry {
        Handler handler;
        UpdateHandler update;
    };
    std::map<int, Entry> m_entries;
};

// The maps in routing order. Null entries are skipped.
using RoutingPath = std::vector<const CommandMap*>;

// The first handler on the path runs; false when no map holds `id`.
bool RouteCommand(const RoutingPath& path, int id);
// The state of `id` along the path: disabled when no map holds it.
CommandUi RouteUpdate(const RoutingPath& path, int id);
