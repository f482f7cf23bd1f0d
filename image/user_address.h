// Numbers typed or found by the user and meant as addresses: converted to a
// file offset, with the one message every such command shows on failure.
#pragma once
#include <cstdint>

class Host;
class TImageInfo;

enum class UserAddressKind { FileOffset, Rva, Memory };

// The file offset, or NOT_IN_FILE after "Sorry, address is not in file!" was shown.
// A file offset is returned unchanged; the caller checks it against the file.
uint32_t userAddressToFileOffset(const TImageInfo& image, uint32_t value, UserAddressKind kind,
                                 Host& host);
