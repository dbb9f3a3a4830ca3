#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct evp_md_ctx_st;

namespace qfs {

// SHA-256 through OpenSSL's libcrypto, which uses the processor's SHA instructions where it
// has them. Not copyable; one object hashes one stream at a time, and finish() readies it for
// the next.
//
// OpenSSL's SHA-256 can only fail when it cannot get memory, so every failure of the library
// is thrown as std::bad_alloc, which the engine reports as ENOMEM; nothing else is thrown.
class Sha256 {
public:
    static constexpr std::size_t digestSize = 32;
    using Digest = std::array<std::uint8_t, digestSize>;
    // The length of a digest written as hexadecimal digits.
    static constexpr std::size_t hexSize = 2 * digestSize;

    // Throws std::bad_alloc when OpenSSL cannot provide a context.
    Sha256();
    ~Sha256();
    Sha256(Sha256&&) noexcept;
    Sha256& operator=(Sha256&&) noexcept;
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // Adds bytes to the stream. REQUIRES: the object was not moved from.
    void update(const void* data, std::size_t size);
    // The digest of everything added since construction or the last finish(); the object
    // then starts a new, empty stream.
    Digest finish();

    // The digest of one block of bytes.
    static Digest of(std::string_view bytes);
    // Lowercase hexadecimal digits, as checksum files hold them.
    static std::string hex(const Digest& digest);
    // Exactly hexSize hexadecimal digits, in either case; anything else gives no value.
    static std::optional<Digest> fromHex(std::string_view text);

private:
    struct ContextDeleter {
        void operator()(evp_md_ctx_st* context) const;
    };
    std::unique_ptr<evp_md_ctx_st, ContextDeleter> m_context;
};

} // namespace qfs
