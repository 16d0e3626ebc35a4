// Writing finished bytes to a descriptor.
#pragma once

#include <span>
#include <string>

// Writes all of bytes to fd; on failure false, with the system's reason in error.
bool WriteAll(int fd, std::span<const unsigned char> bytes, std::string& error);
