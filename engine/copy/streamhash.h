#pragma once

#include "engine/copy/sha256.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

struct evp_md_ctx_st;

namespace qfs {

// The hashes a checksum file can name: SHA-256 (ours), MD5 (md5sum's files) and CRC-32 (the
// SFV files and the .crc files other splitters write).
enum class HashKind { Sha256, Md5, Crc32 };

// One stream hashed with any of the kinds: SHA-256 and MD5 through libcrypto, CRC-32 through
// the library the recovery slices use. Digests of every kind share one type, wide enough for
// the widest: a shorter digest fills its front, the rest stays zero, so that digests of one
// kind compare as they are. A CRC-32 is kept in the order it is written, most significant
// byte first.
//
// As with Sha256, a failure of libcrypto can only be a lack of memory and is thrown as
// std::bad_alloc; nothing else is thrown.
class StreamHash {
public:
    using Digest = Sha256::Digest;

    // Throws std::bad_alloc when libcrypto cannot provide a context.
    explicit StreamHash(HashKind kind = HashKind::Sha256);
    ~StreamHash();
    StreamHash(StreamHash&&) noexcept;
    StreamHash& operator=(StreamHash&&) noexcept;
    StreamHash(const StreamHash&) = delete;
    StreamHash& operator=(const StreamHash&) = delete;

    HashKind kind() const { return m_kind; }
    // Adds bytes to the stream. REQUIRES: the object was not moved from.
    void update(const void* data, std::size_t size);
    // The digest of everything added since construction or the last finish(); the object
    // then starts a new, empty stream.
    Digest finish();

    // The bytes of a digest of this kind: 32, 16 or 4.
    static std::size_t digestSize(HashKind kind);
    // Exactly 2 × digestSize(kind) hexadecimal digits, in either case; anything else gives
    // no value.
    static std::optional<Digest> fromHex(std::string_view text, HashKind kind);

private:
    struct ContextDeleter {
        void operator()(evp_md_ctx_st* context) const;
    };
    void start();

    HashKind m_kind;
    std::unique_ptr<evp_md_ctx_st, ContextDeleter> m_context;
    std::uint32_t m_crc = 0;
};

} // namespace qfs
