// The batch routine of a vector instruction set (avx2.cpp, avx512.cpp
// beside it), written once. Such a source includes it inside its unnamed
// namespace after sincos-inl.h, having defined the operations
// core/simd/operations.h lists for it.
// Lanes the fast path cannot decide, and the last, partial step, go to the
// scalar routine.

void fillSinCosInSteps(const double* theta, double* sine, double* cosine, std::int64_t n) {
    constexpr unsigned allLanes = (1u << stepLanes) - 1u;
    std::int64_t i = 0;
    for (; i + stepLanes <= n; i += stepLanes) {
        const Vec t = loadLanes(theta + i);
        const Vec magnitude = absolute(t);
        Vec s, c;
        const unsigned decided = decidedLanes(sinCosModerate(t, magnitude, &s, &c), magnitude);
        double saved[stepLanes];  // theta may share memory with the outputs
        if (decided != allLanes) storeLanes(saved, t);
        storeLanes(sine + i, s);
        storeLanes(cosine + i, c);
        if (decided == allLanes) continue;
        for (int l = 0; l < stepLanes; ++l)
            if (!((decided >> l) & 1u)) sincos_scalar::sinCos(saved[l], &sine[i + l], &cosine[i + l]);
    }
    sincos_scalar::fillSinCos(theta + i, sine + i, cosine + i, n - i);
}
