// Digests of the outputs of platformBits' cases, as the Linux module gives
// them. Every module, on every platform, thread count and instruction set,
// must reproduce them bit for bit.
struct ExpectedDigest {
    const char* name;
    std::uint64_t digest;
};

constexpr ExpectedDigest expectedDigests[] = {
    {"audio", 0x0ULL},
    {"longWindow", 0x0ULL},
    {"hugeAngles", 0x0ULL},
    {"oddSizes", 0x0ULL},
};
