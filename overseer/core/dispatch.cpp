#include "overseer/core/dispatch.h"

namespace lt::overseer
{

namespace
{

QString menuItemName(const QString& menu, const QString& caption)
{
    return menu + QLatin1Char('\n') + caption;
}

} // namespace

void Dispatch::onKey(const QString& key, Procedure procedure)
{
    keys_.insert(key, std::move(procedure));
}

void Dispatch::onMenuItem(const QString& menu, const QString& caption, Procedure procedure)
{
    menuItems_.insert(menuItemName(menu, caption), std::move(procedure));
}

bool Dispatch::hasKey(const QString& key) const
{
    return bool(keys_.value(key));
}

bool Dispatch::run(const QHash<QString, Procedure>& table, const QString& name)
{
    // A copy: the procedure may rebind its own entry while it runs.
    const Procedure procedure = table.value(name);
    if (!procedure)
        return false;
    procedure();
    return true;
}

bool Dispatch::runKey(const QString& key) const
{
    return run(keys_, key);
}

bool Dispatch::hasMenuItem(const QString& menu, const QString& caption) const
{
    return bool(menuItems_.value(menuItemName(menu, caption)));
}

bool Dispatch::runMenuItem(const QString& menu, const QString& caption) const
{
    return run(menuItems_, menuItemName(menu, caption));
}

} // namespace lt::overseer
