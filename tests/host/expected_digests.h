// Digests of the outputs of platformBits' cases, as the Linux module gives
// them. Every module, on every platform, thread count and instruction set,
// must reproduce them bit for bit.
struct ExpectedDigest {
    const char* name;
    std::uint64_t digest;
};

constexpr ExpectedDigest expectedDigests[] = {
    {"audio", 0x4eaeb8d0bd410df5ULL},
    {"longWindow", 0xbe38aa7a1aa11e84ULL},
    {"hugeAngles", 0x7dbbe99cbf795261ULL},
    {"oddSizes", 0xa9c0cdec5b95b66cULL},
    {"fastAudio", 0xb6bd024ddd244a03ULL},
    {"fastComplexStereo", 0x3958c8c870578badULL},
    {"fastDirect", 0x9e0f884294ee5281ULL},
};
