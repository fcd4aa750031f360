#pragma once

#include "platform/Exception.h"

#include <string>

class TListBox;

// Raised when a row cannot be stored or an index lies outside the rows.
class EStringListError : public Exception {
public:
    using Exception::Exception;
};

// The rows of a list box as a list of strings.
class TListBoxStrings {
public:
    explicit TListBoxStrings(TListBox& box) : box_(box) {}

    // Appends `row` byte for byte; returns its index. Raises "Unable to
    // insert a line" when the list box refuses it, leaving the rows as they
    // were.
    int Add(std::string row);
    // Raises "List index out of bounds (i)" for an index outside the rows.
    const std::string& operator[](int index) const;
    int Count() const;
    void Clear();

private:
    TListBox& box_;
};
