#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

// A growable byte array; the probe and every received datagram travel as one.
using TIdBytes = std::vector<std::uint8_t>;

enum class TIdIPVersion { Id_IPv4, Id_IPv6 };

// Bytes to 8-bit text. Selector 0 raises "No encoding specified."; selector 2
// decodes UTF-8 into code page 936; every other selector keeps each byte as
// one character, unchanged, zero bytes included.
std::string BytesToText(const TIdBytes& bytes, std::uint8_t selector);

// The class name of an exception, as written in the source ("EIdSocketError").
std::string ExceptionClassName(const std::exception& failure);
