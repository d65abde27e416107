// Function multiversioning for hot loops written for the vectoriser: on
// x86-64 GCC builds a function marked QUOR_TARGET_CLONES("avx2", "default")
// is built once per listed target and the loader picks the variant the
// processor has; elsewhere it is the plain function. The output is the same
// either way.
// Sanitizer builds go without: the loader runs the variant resolvers before
// the sanitizer runtime is up, and an instrumented resolver crashes there.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__) && \
    !defined(__SANITIZE_ADDRESS__)
#define QUOR_TARGET_CLONES(...) [[gnu::target_clones(__VA_ARGS__)]]
#else
#define QUOR_TARGET_CLONES(...)
#endif
