#pragma once
// The small icons of the administration's rows (the list's image list), drawn once each.

#include <QIcon>

namespace lt::overseer::admin
{

// By their index: 2 a terminal, 15 a terminal of the built-in group, 3 a group, 8 a black-list
// entry, 9 a white-list entry, 10 a recent visit.
QIcon rowIcon(int index);

} // namespace lt::overseer::admin
