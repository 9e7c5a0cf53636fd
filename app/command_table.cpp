#include "app/command_table.h"

#include <QShortcut>
#include <QWidget>
#include <algorithm>

namespace velmora {

void CommandTable::Add(Command command)
{
    const auto same = std::find_if(
        m_entries.begin(), m_entries.end(), [&](const Command& entry) { return entry.id == command.id; });
    if (same != m_entries.end())
        *same = std::move(command);
    else
        m_entries.push_back(std::move(command));
}

const Command* CommandTable::Find(int id) const
{
    for (const Command& entry : m_entries) {
        if (entry.id == id)
            return &entry;
    }
    return nullptr;
}

bool CommandTable::Run(int id) const
{
    const Command* command = Find(id);
    if (!command || !command->run)
        return false;
    command->run();
    return true;
}

std::vector<const Command*> CommandTable::InMenu(MenuPlaces place) const
{
    std::vector<const Command*> listed;
    for (const Command& entry : m_entries) {
        if (entry.menus & place)
            listed.push_back(&entry);
    }
    std::stable_sort(
        listed.begin(), listed.end(), [](const Command* a, const Command* b) { return a->group < b->group; });
    return listed;
}

void CommandTable::InstallKeys(QWidget* window, const std::function<void(int id)>& trigger) const
{
    for (const Command& entry : m_entries) {
        if (entry.key.isEmpty())
            continue;
        auto* shortcut = new QShortcut(entry.key, window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window, [this, trigger, id = entry.id] {
            const Command* command = Find(id);
            if (command && command->Available())
                trigger(id);
        });
    }
}

} // namespace velmora
