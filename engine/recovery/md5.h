#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

struct evp_md_ctx_st;

namespace qfs {

using Md5Digest = std::array<std::uint8_t, 16>;

// MD5 through libcrypto's EVP interface: the hash the recovery volumes identify files,
// slices and packets by. Copyable, so that the state after a common prefix can be reused.
class Md5 {
public:
    Md5();
    Md5(const Md5& other);
    Md5& operator=(const Md5& other);
    Md5(Md5&&) noexcept = default;
    Md5& operator=(Md5&&) noexcept = default;
    ~Md5();

    void add(const void* data, std::size_t size);
    // The digest of everything added since construction or the last finish(); starts anew.
    Md5Digest finish();

    static Md5Digest of(const void* data, std::size_t size);

private:
    struct ContextDeleter {
        void operator()(evp_md_ctx_st* context) const;
    };
    std::unique_ptr<evp_md_ctx_st, ContextDeleter> m_context;
};

} // namespace qfs
