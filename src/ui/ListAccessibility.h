#pragma once

class QAccessibleInterface;
class QObject;

// What assistive tools see of the columned list box, which draws its rows and
// header sections itself: the row list is a list named by the list box's
// accessible name, each row an item named from the cells the user sees, with
// its selected and focused states; the header bar holds one column header per
// section, named by its caption. Null for any other object.
QAccessibleInterface* ListAccessibleInterface(QObject* object);
