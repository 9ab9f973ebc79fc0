#include "views/CommandMap.h"

#include <utility>

void CommandMap::On(int id, Handler handler, UpdateHandler update) {
    m_entries[id] = Entry{std::move(handler), std::move(update)};
}

bool CommandMap::Execute(int id) const {
    auto it = m_entries.find(id);
    if (it == m_entries.end()) return false;
    // Copy first: the handler may destroy the object that owns this map (Close).
    Handler handler = it->second.handler;
    if (handler) handler();
    return true;
}

bool CommandMap::Update(int id, CommandUi& ui) const {
    auto it = m_entries.find(id);
    if (it == m_entries.end()) return false;
    ui = CommandUi{};
    if (it->second.update) it->second.update(ui);
    return true;
}

bool RouteCommand(const RoutingPath& path, int id) {
    for (const CommandMap* map : path) {
        if (map && map->Handles(id)) return map->Execute(id);
    }
    return false;
}

CommandUi RouteUpdate(const RoutingPath& path, int id) {
    CommandUi ui;
    for (const CommandMap* map : path) {
        if (map && map->Update(id, ui)) return ui;
    }
    ui.enabled = false;
    return ui;
}
