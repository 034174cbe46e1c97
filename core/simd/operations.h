// The operations each body compiled once per instruction set expects. Such
// a body (`*-inl.h`) is written once; a source per instruction set
// (scalar.cpp, avx2.cpp, avx512.cpp beside it, each compiled with its own
// flags only) defines the names below inside its own namespace, then
// includes the body. This header holds no code: it is where the contract
// is written down, and every such source includes it to say so.
//
// Every body alike:
//   - each operation is one rounded IEEE-754 double operation (or an exact
//     integer or bit operation), never a fused multiply-add, so a lane gives
//     the same bits in every set;
//   - the names are defined in an unnamed namespace, and a body uses no
//     inline function of a library header: the linker could keep a copy
//     compiled with wider instructions for every caller.
//
// accumulate/accumulate-inl.h (the exact kernels), per set or variant:
//   V, lanes                  the vector type and its number of doubles
//   frequencyVectors, frequencyFrames, frameVectors, frameFrequencies
//                             the register blocks (see KernelSet;
//                             frameFrequencies 0: no frame-lane kernel)
//   ownFrameVectors, ownFrameFrequencies
//                             the register block of frame lanes with a
//                             window for each frequency
//   zero, load, store         whole-vector moves (no alignment needed)
//   loadFirst, storeFirst     moves of the first n lanes only (other lanes
//                             read as zero, memory past n untouched)
//   mul, add, sub             lane-wise rounded double arithmetic
//   mulSample(v, p)           v * broadcast(*p), rounded
//   loadColumns(first, hop, out), turnedRows
//                             samples 0 .. turnedRows-1 of lanes frames hop
//                             apart, one vector per sample, into out[]
//   storeColumns(first, hop, out, stride)
//                             samples 0 .. lanes-1 of lanes frames hop apart,
//                             one vector per sample (frames in lanes),
//                             sample i's at out + i * stride
//   batchSinCos               the set's sine-cosine routine
//
// sincos/sincos-inl.h (the sine-cosine fast path), per set:
//   Vec                       lanes of doubles
//   Bits                      the same lanes as 64-bit integers
//   Mask                      one flag per lane
//   splat(x), add, sub, mul, absolute, keepHighBits (clears the 27 low
//   mantissa bits), bitsOf, lowBits<m>, addBits<n>, bitIsSet<n>,
//   negateIfBitSet<n>(x, bits), select(m, a, b) (a where m is set),
//   sameValue, bothSet, allSet
//   lookupEntry(index, &sinHead, &sinTail, &cosHead, &cosTail)
//                             the four table values of entry `index` (0 to
//                             511) of each lane
// and sincos/steps-inl.h (its batch loop, vector sets only) besides:
//   stepLanes                 lanes per step (two vectors)
//   loadLanes(p), storeLanes(p, x)
//                             stepLanes doubles from or to memory
//   decidedLanes(m, magnitude)
//                             one bit per lane: decided by the fast path (m)
//                             and inside its range
//
// fast/fast-inl.h (the fast mode's FFT and interpolation): nothing but the
// namespace it is included in; its lanes are GCC vectors of fast/fast.h's
// `lanes` doubles, each operator one IEEE operation per lane, which the
// compiler maps onto the set it is compiled for.
#ifndef SPECTROGRID_CORE_SIMD_OPERATIONS_H
#define SPECTROGRID_CORE_SIMD_OPERATIONS_H
#endif
