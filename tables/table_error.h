// The one exception type of the table library. It is thrown only for the conversion errors that the
// column readers and the JSON table loader raise to their caller (a code-24 text read by AsInteger
// that is not an integer, a code-2 text read by AsFloat that is not a number, a column descriptor of
// a JSON table text that is not four integers). Callers inside the library catch it; it never
// crosses into the session client or the user interface.
#pragma once

#include <stdexcept>
#include <string>

class TableConversionError : public std::runtime_error {
  public:
    explicit TableConversionError(const std::string& what) : std::runtime_error(what) {}
};
