#include "engine/recovery/par2format.h"

#include <algorithm>

namespace qfs::Par2 {

namespace {

constexpr int byteBits = 8;
constexpr std::uint64_t byteMask = 0xFF;

} // namespace

void putU32(std::string& out, std::uint32_t value)
{
    for (std::size_t i = 0; i < sizeof value; ++i)
        out += char((value >> (byteBits * i)) & byteMask);
}

void putU64(std::string& out, std::uint64_t value)
{
    for (std::size_t i = 0; i < sizeof value; ++i)
        out += char((value >> (byteBits * i)) & byteMask);
}

std::uint32_t getU32(const std::uint8_t* in)
{
    std::uint32_t value = 0;
    for (std::size_t i = sizeof value; i-- > 0;)
        value = (value << byteBits) | in[i];
    return value;
}

std::uint64_t getU64(const std::uint8_t* in)
{
    std::uint64_t value = 0;
    for (std::size_t i = sizeof value; i-- > 0;)
        value = (value << byteBits) | in[i];
    return value;
}

static void putDigest(std::string& out, const Md5Digest& digest)
{
    out.append(reinterpret_cast<const char*>(digest.data()), digest.size());
}

Md5 packetHashStart(const Md5Digest& setId, std::string_view type)
{
    Md5 md5;
    md5.add(setId.data(), setId.size());
    md5.add(type.data(), type.size());
    return md5;
}

std::string header(const Md5Digest& setId, std::string_view type, std::uint64_t packetLength,
                   const Md5Digest& packetMd5)
{
    std::string out(magic);
    putU64(out, packetLength);
    putDigest(out, packetMd5);
    putDigest(out, setId);
    out.append(type);
    return out;
}

std::string packet(const Md5Digest& setId, std::string_view type, const std::string& body)
{
    Md5 md5 = packetHashStart(setId, type);
    md5.add(body.data(), body.size());
    return header(setId, type, headerSize + body.size(), md5.finish()) + body;
}

std::string mainBody(std::uint64_t sliceSize, const std::vector<Md5Digest>& sortedFileIds)
{
    std::string body;
    putU64(body, sliceSize);
    putU32(body, std::uint32_t(sortedFileIds.size()));
    for (const Md5Digest& id : sortedFileIds)
        putDigest(body, id);
    return body;
}

std::string fileDescriptionBody(const Md5Digest& fileId, const Md5Digest& fileMd5,
                                const Md5Digest& startMd5, std::uint64_t length,
                                const std::string& name)
{
    std::string body;
    putDigest(body, fileId);
    putDigest(body, fileMd5);
    putDigest(body, startMd5);
    putU64(body, length);
    body += name;
    body.resize(padded(body.size()), '\0');
    return body;
}

std::string sliceChecksumBody(const Md5Digest& fileId, const std::vector<SliceChecksum>& slices)
{
    std::string body;
    putDigest(body, fileId);
    for (const SliceChecksum& slice : slices) {
        putDigest(body, slice.md5);
        putU32(body, slice.crc);
    }
    return body;
}

std::string creatorBody(std::string_view text)
{
    std::string body(text);
    body.resize(padded(body.size()), '\0');
    return body;
}

Md5Digest fileId(const Md5Digest& startMd5, std::uint64_t length, const std::string& name)
{
    std::string input;
    putDigest(input, startMd5);
    putU64(input, length);
    input += name;
    return Md5::of(input.data(), input.size());
}

bool fileIdLess(const Md5Digest& a, const Md5Digest& b)
{
    return std::lexicographical_compare(a.rbegin(), a.rend(), b.rbegin(), b.rend());
}

} // namespace qfs::Par2
