#include "ui/ListBoxStrings.h"

#include "ui/ListBox.h"

int TListBoxStrings::Add(std::string row) {
    const int index = box_.AddString(std::move(row));
    if (index < 0)
        throw EStringListError("Unable to insert a line");
    return index;
}

const std::string& TListBoxStrings::operator[](int index) const {
    const std::string* row = box_.Text(index);
    if (!row)
        throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
    return *row;
}

int TListBoxStrings::Count() const {
    return box_.Count();
}

void TListBoxStrings::Clear() {
    box_.ResetContent();
}
