#pragma once

#include "engine/recovery/md5.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qfs {

// The packet layout of PAR 2.0 recovery files. Every packet is a 64-byte header (magic,
// length of the whole packet, MD5 of everything from the set ID to the end, recovery set ID,
// type) and a body; every field is 4-byte aligned and every integer little-endian.
namespace Par2 {

inline constexpr std::string_view magic{"PAR2\0PKT", 8};
inline constexpr std::size_t headerSize = 64;
inline constexpr std::size_t lengthOffset = 8;
inline constexpr std::size_t packetHashOffset = 16;
// Where the MD5 of a packet starts: the recovery set ID, then the type, then the body.
inline constexpr std::size_t setIdOffset = 32;
inline constexpr std::size_t typeOffset = 48;
inline constexpr std::size_t typeSize = 16;
inline constexpr std::size_t alignment = 4;
// The file ID covers the MD5 of at most this much of a file's start.
inline constexpr std::size_t hashedStart = 16 * 1024;

inline constexpr std::string_view mainType{"PAR 2.0\0Main\0\0\0\0", typeSize};
inline constexpr std::string_view fileDescriptionType{"PAR 2.0\0FileDesc", typeSize};
inline constexpr std::string_view sliceChecksumType{"PAR 2.0\0IFSC\0\0\0\0", typeSize};
inline constexpr std::string_view recoverySliceType{"PAR 2.0\0RecvSlic", typeSize};
inline constexpr std::string_view creatorType{"PAR 2.0\0Creator\0", typeSize};

// Body sizes of the fixed parts.
inline constexpr std::size_t mainFixedSize = 12;        // slice size (8), file count (4)
inline constexpr std::size_t fileDescriptionFixedSize = 56; // ID, MD5, MD5 of start, length
inline constexpr std::size_t sliceChecksumFixedSize = 16;   // file ID
inline constexpr std::size_t sliceEntrySize = 20;           // MD5 (16) and CRC-32 (4)
inline constexpr std::size_t recoveryFixedSize = 4;         // exponent

struct SliceChecksum {
    Md5Digest md5{};
    std::uint32_t crc = 0;
};

inline constexpr std::uint64_t padded(std::uint64_t size)
{
    return (size + alignment - 1) / alignment * alignment;
}

// Whole packet sizes.
inline constexpr std::uint64_t mainPacketSize(std::uint64_t fileCount)
{
    return headerSize + mainFixedSize + fileCount * sizeof(Md5Digest);
}
inline constexpr std::uint64_t fileDescriptionPacketSize(std::size_t nameLength)
{
    return headerSize + fileDescriptionFixedSize + padded(nameLength);
}
inline constexpr std::uint64_t sliceChecksumPacketSize(std::uint64_t sliceCount)
{
    return headerSize + sliceChecksumFixedSize + sliceCount * sliceEntrySize;
}
inline constexpr std::uint64_t recoveryPacketSize(std::uint64_t sliceSize)
{
    return headerSize + recoveryFixedSize + sliceSize;
}

// Little-endian integers.
void putU32(std::string& out, std::uint32_t value);
void putU64(std::string& out, std::uint64_t value);
std::uint32_t getU32(const std::uint8_t* in);
std::uint64_t getU64(const std::uint8_t* in);

// A complete packet of the set: header (with its MD5) followed by the body, which must be
// 4-byte aligned already.
std::string packet(const Md5Digest& setId, std::string_view type, const std::string& body);
// The header of a packet whose MD5 was computed elsewhere (recovery slices, written in parts).
std::string header(const Md5Digest& setId, std::string_view type, std::uint64_t packetLength,
                   const Md5Digest& packetMd5);
// The MD5 state after the part of a packet that precedes its body.
Md5 packetHashStart(const Md5Digest& setId, std::string_view type);

std::string mainBody(std::uint64_t sliceSize, const std::vector<Md5Digest>& sortedFileIds);
std::string fileDescriptionBody(const Md5Digest& fileId, const Md5Digest& fileMd5,
                                const Md5Digest& startMd5, std::uint64_t length,
                                const std::string& name);
std::string sliceChecksumBody(const Md5Digest& fileId, const std::vector<SliceChecksum>& slices);
std::string creatorBody(std::string_view text);

// The file ID: the MD5 of the MD5 of the file's first 16 KiB, its length and its name.
Md5Digest fileId(const Md5Digest& startMd5, std::uint64_t length, const std::string& name);
// The order of file IDs in the main packet (and so of the source slices): as 128-bit
// little-endian numbers.
bool fileIdLess(const Md5Digest& a, const Md5Digest& b);

// The number of slices of a file of `length` bytes.
inline constexpr std::uint64_t sliceCount(std::uint64_t length, std::uint64_t sliceSize)
{
    return length / sliceSize + (length % sliceSize != 0 ? 1 : 0);
}

} // namespace Par2

} // namespace qfs
