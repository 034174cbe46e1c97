// Part of the accumulation body (accumulate-inl.h includes it inside its
// unnamed namespace): moving accumulators between vector registers and the
// coefficient planes, whole or partial vectors, consecutive or strided, and
// asking for the planes' cache lines ahead of a register block.

// `count` consecutive coefficients (at most lanes) of one plane with the
// given step; the other lanes read as zero.
V loadCoefficients(const double* plane, Index step, int count) {
    if (step == 1) return count == lanes ? load(plane) : loadFirst(plane, count);
    double buffer[lanes] = {};
    for (int l = 0; l < count; ++l) buffer[l] = plane[l * step];
    return load(buffer);
}

void storeCoefficients(double* plane, Index step, int count, V value) {
    if (step == 1) {
        if (count == lanes) {
            store(plane, value);
        } else {
            storeFirst(plane, value, count);
        }
        return;
    }
    double buffer[lanes];
    store(buffer, value);
    for (int l = 0; l < count; ++l) plane[l * step] = buffer[l];
}

// The same for `count` coefficients that lie `stride` elements apart (the
// frames of one frequency).
V loadStrided(const double* plane, Index stride, int count) {
    double buffer[lanes] = {};
    for (int l = 0; l < count; ++l) buffer[l] = plane[l * stride];
    return load(buffer);
}

void storeStrided(double* plane, Index stride, int count, V value) {
    double buffer[lanes];
    store(buffer, value);
    for (int l = 0; l < count; ++l) plane[l * stride] = buffer[l];
}

// Asks for the cache lines of `count` coefficients from p on, to be written
// (fresh) or read and written.
void prefetchCoefficients(const double* p, Index count, bool fresh) {
    const double* last = p + count - 1;
    if (fresh) {
        __builtin_prefetch(p, 1, 3);
        __builtin_prefetch(last, 1, 3);
    } else {
        __builtin_prefetch(p, 0, 3);
        __builtin_prefetch(last, 0, 3);
    }
}

