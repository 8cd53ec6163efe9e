#include "engine/ThinPlateSplines.h"

// The double-double arithmetic below depends on every product being rounded on its own: fusing
// a product into a later addition (which GCC does across statements when FMA is enabled) would
// break the error-free transformations.
#if defined(__clang__)
#pragma clang fp contract(off)
#elif defined(__GNUC__)
#pragma GCC optimize("fp-contract=off")
#endif

#include <cmath>
#include <cstdint>
#include <cstring>
#include <algorithm>

#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <stdexcept>

#include "common/Errors.h"
#include "engine/Matrix.h"

namespace tintavo {

double Kernel3Reference(double s) {
    const long double ls = s;
    return static_cast<double>(ls * std::log(std::sqrt(ls)));
}

namespace {

constexpr const char* kUnit = "ThinPlateSplines";

// The kernel is the bulk of the work of a calibration (one evaluation per control point and LUT
// node), and the extended-precision logarithm costs far more than the rest. The fast path below
// computes s ln sqrt(s) in double-double arithmetic, far more accurately than the extended-precision
// result it stands for, together with a bound on how far that result can lie from it. When
// every value within the bound rounds to the same double, that double is the one the
// extended-precision formula yields; otherwise (about one case in ten) the formula itself is
// evaluated. So the kernel's values are exactly those of the extended-precision formula.

// 1 / c_i rounded to a double, c_i = 1 + (i + 0.5) / 128.
constexpr double kLogInv[128] = {
    0x1.fe01fe01fe020p-1, 0x1.fa11caa01fa12p-1, 0x1.f6310aca0dbb5p-1,
    0x1.f25f644230ab5p-1, 0x1.ee9c7f8458e02p-1, 0x1.eae807aba01ebp-1,
    0x1.e741aa59750e4p-1, 0x1.e3a9179dc1a73p-1, 0x1.e01e01e01e01ep-1,
    0x1.dca01dca01dcap-1, 0x1.d92f2231e7f8ap-1, 0x1.d5cac807572b2p-1,
    0x1.d272ca3fc5b1ap-1, 0x1.cf26e5c44bfc6p-1, 0x1.cbe6d9601cbe7p-1,
    0x1.c8b265afb8a42p-1, 0x1.c5894d10d4986p-1, 0x1.c26b5392ea01cp-1,
    0x1.bf583ee868d8bp-1, 0x1.bc4fd65883e7bp-1, 0x1.b951e2b18ff23p-1,
    0x1.b65e2e3beee05p-1, 0x1.b37484ad806cep-1, 0x1.b094b31d922a4p-1,
    0x1.adbe87f94905ep-1, 0x1.aaf1d2f87ebfdp-1, 0x1.a82e65130e159p-1,
    0x1.a574107688a4ap-1, 0x1.a2c2a87c51ca0p-1, 0x1.a01a01a01a01ap-1,
    0x1.9d79f176b682dp-1, 0x1.9ae24ea5510dap-1, 0x1.9852f0d8ec0ffp-1,
    0x1.95cbb0be377aep-1, 0x1.934c67f9b2ce6p-1, 0x1.90d4f120190d5p-1,
    0x1.8e6527af1373fp-1, 0x1.8bfce8062ff3ap-1, 0x1.899c0f601899cp-1,
    0x1.87427bcc092b9p-1, 0x1.84f00c2780614p-1, 0x1.82a4a0182a4a0p-1,
    0x1.8060180601806p-1, 0x1.7e225515a4f1dp-1, 0x1.7beb3922e017cp-1,
    0x1.79baa6bb6398bp-1, 0x1.77908119ac60dp-1, 0x1.756cac201756dp-1,
    0x1.734f0c541fe8dp-1, 0x1.713786d9c7c09p-1, 0x1.6f26016f26017p-1,
    0x1.6d1a62681c861p-1, 0x1.6b1490aa31a3dp-1, 0x1.691473a88d0c0p-1,
    0x1.6719f3601671ap-1, 0x1.6524f853b4aa3p-1, 0x1.63356b88ac0dep-1,
    0x1.614b36831ae94p-1, 0x1.5f66434292dfcp-1, 0x1.5d867c3ece2a5p-1,
    0x1.5babcc647fa91p-1, 0x1.59d61f123ccaap-1, 0x1.5805601580560p-1,
    0x1.56397ba7c52e2p-1, 0x1.54725e6bb82fep-1, 0x1.52aff56a8054bp-1,
    0x1.50f22e111c4c5p-1, 0x1.4f38f62dd4c9bp-1, 0x1.4d843bedc2c4cp-1,
    0x1.4bd3edda68fe1p-1, 0x1.4a27fad76014ap-1, 0x1.4880522014880p-1,
    0x1.46dce34596066p-1, 0x1.453d9e2c776cap-1, 0x1.43a2730abee4dp-1,
    0x1.420b5265e5951p-1, 0x1.40782d10e6566p-1, 0x1.3ee8f42a5af07p-1,
    0x1.3d5d991aa75c6p-1, 0x1.3bd60d9232955p-1, 0x1.3a524387ac822p-1,
    0x1.38d22d366088ep-1, 0x1.3755bd1c945eep-1, 0x1.35dce5f9f2af8p-1,
    0x1.34679ace01346p-1, 0x1.32f5ced6a1dfap-1, 0x1.3187758e9ebb6p-1,
    0x1.301c82ac40260p-1, 0x1.2eb4ea1fed14bp-1, 0x1.2d50a012d50a0p-1,
    0x1.2bef98e5a3711p-1, 0x1.2a91c92f3c105p-1, 0x1.293725bb804a5p-1,
    0x1.27dfa38a1ce4dp-1, 0x1.268b37cd60127p-1, 0x1.2539d7e9177b2p-1,
    0x1.23eb79717605bp-1, 0x1.22a0122a0122ap-1, 0x1.21579804855e6p-1,
    0x1.2012012012012p-1, 0x1.1ecf43c7fb84cp-1, 0x1.1d8f5672e4abdp-1,
    0x1.1c522fc1ce059p-1, 0x1.1b17c67f2bae3p-1, 0x1.19e0119e0119ep-1,
    0x1.18ab083902bdbp-1, 0x1.1778a191bd684p-1, 0x1.1648d50fc3201p-1,
    0x1.151b9a3fdd5c9p-1, 0x1.13f0e8d344724p-1, 0x1.12c8b89edc0acp-1,
    0x1.11a3019a74826p-1, 0x1.107fbbe011080p-1, 0x1.0f5edfab325a2p-1,
    0x1.0e40655826011p-1, 0x1.0d24456359e3ap-1, 0x1.0c0a7868b4171p-1,
    0x1.0af2f722eecb5p-1, 0x1.09ddba6af8360p-1, 0x1.08cabb37565e2p-1,
    0x1.07b9f29b8eae2p-1, 0x1.06ab59c7912fbp-1, 0x1.059eea0727586p-1,
    0x1.04949cc1664c5p-1, 0x1.038c6b78247fcp-1, 0x1.02864fc7729e9p-1,
    0x1.0182436517a37p-1, 0x1.0080402010080p-1,
};

// -ln(kLogInv[i]) as the double-double kLogHi[i] + kLogLo[i].
constexpr double kLogHi[128] = {
    0x1.ff00aa2b10ba0p-9, 0x1.7dc475f810a69p-7, 0x1.3cea44346a584p-6,
    0x1.b9fc027af919ap-6, 0x1.1b0d98923d97fp-5, 0x1.58a5bafc8e4d3p-5,
    0x1.95c830ec8e3f2p-5, 0x1.d276b8adb0b56p-5, 0x1.075983598e471p-4,
    0x1.253f62f0a1417p-4, 0x1.42edcbea646eep-4, 0x1.60658a93750c4p-4,
    0x1.7da766d7b12d0p-4, 0x1.9ab42462033aep-4, 0x1.b78c82bb0eda0p-4,
    0x1.d4313d66cb35dp-4, 0x1.f0a30c01162a4p-4, 0x1.0671512ca596fp-3,
    0x1.14785846742acp-3, 0x1.2266f190a5acdp-3, 0x1.303d718e47fd5p-3,
    0x1.3dfc2b0ecc62ap-3, 0x1.4ba36f39a55e5p-3, 0x1.59338d9982085p-3,
    0x1.66acd4272ad51p-3, 0x1.740f8f54037a3p-3, 0x1.815c0a14357e9p-3,
    0x1.8e928de886d41p-3, 0x1.9bb362e7dfb85p-3, 0x1.a8becfc882f19p-3,
    0x1.b5b519e8fb5a6p-3, 0x1.c2968558c18c2p-3, 0x1.cf6354e09c5ddp-3,
    0x1.dc1bca0abec7bp-3, 0x1.e8c0252aa5a60p-3, 0x1.f550a564b7b37p-3,
    0x1.00e6c45ad501dp-2, 0x1.071b85fcd590dp-2, 0x1.0d46b579ab74bp-2,
    0x1.136870293a8b0p-2, 0x1.1980d2dd4236fp-2, 0x1.1f8ff9e48a2f3p-2,
    0x1.2596010df763ap-2, 0x1.2b9303ab89d25p-2, 0x1.31871c9544185p-2,
    0x1.3772662bfd85cp-2, 0x1.3d54fa5c1f710p-2, 0x1.432ef2a04e813p-2,
    0x1.49006804009d0p-2, 0x1.4ec9732600269p-2, 0x1.548a2c3add263p-2,
    0x1.5a42ab0f4cfe2p-2, 0x1.5ff3070a793d4p-2, 0x1.659b57303e1f2p-2,
    0x1.6b3bb2235943dp-2, 0x1.70d42e2789236p-2, 0x1.7664e1239dbcfp-2,
    0x1.7bede0a37afbfp-2, 0x1.816f41da0d495p-2, 0x1.86e919a330ba1p-2,
    0x1.8c5b7c858b48bp-2, 0x1.91c67eb45a83ep-2, 0x1.972a341135159p-2,
    0x1.9c86b02dc0862p-2, 0x1.a1dc064d5b995p-2, 0x1.a72a4966bd9e9p-2,
    0x1.ac718c258b0e5p-2, 0x1.b1b1e0ebdfc5ap-2, 0x1.b6eb59d3cf35cp-2,
    0x1.bc1e08b0dad0ap-2, 0x1.c149ff115f027p-2, 0x1.c66f4e3ff6ff9p-2,
    0x1.cb8e0744d7acap-2, 0x1.d0a63ae721e64p-2, 0x1.d5b7f9ae2c684p-2,
    0x1.dac353e2c5955p-2, 0x1.dfc859906d5b5p-2, 0x1.e4c71a8687704p-2,
    0x1.e9bfa659861f5p-2, 0x1.eeb20c640ddf3p-2, 0x1.f39e5bc811e5dp-2,
    0x1.f884a36fe9ec1p-2, 0x1.fd64f20f61571p-2, 0x1.011fab125ff8ap-1,
    0x1.0389eefce633cp-1, 0x1.05f14bd26459cp-1, 0x1.0855c884b450ep-1,
    0x1.0ab76bece14d2p-1, 0x1.0d163ccb9d6b8p-1, 0x1.0f7241c9b497dp-1,
    0x1.11cb81787ccf8p-1, 0x1.1422025243d45p-1, 0x1.1675cababa60ep-1,
    0x1.18c6e0ff5cf07p-1, 0x1.1b154b57da29ep-1, 0x1.1d610fe677003p-1,
    0x1.1faa34b87094cp-1, 0x1.21f0bfc65beecp-1, 0x1.2434b6f483934p-1,
    0x1.26762013430e0p-1, 0x1.28b500df60783p-1, 0x1.2af15f02640acp-1,
    0x1.2d2b4012edc9dp-1, 0x1.2f62a99509546p-1, 0x1.3197a0fa7fe6ap-1,
    0x1.33ca2ba328994p-1, 0x1.35fa4edd36ea0p-1, 0x1.38280fe58797fp-1,
    0x1.3a5373e7ebdf9p-1, 0x1.3c7c7fff73206p-1, 0x1.3ea33936b2f5bp-1,
    0x1.40c7a4880dceap-1, 0x1.42e9c6ddf80bfp-1, 0x1.4509a5133bb0ap-1,
    0x1.472743f33aaadp-1, 0x1.4942a83a2fc07p-1, 0x1.4b5bd6956e273p-1,
    0x1.4d72d3a39fd01p-1, 0x1.4f87a3f5026e9p-1, 0x1.519a4c0ba3446p-1,
    0x1.53aad05b99b7cp-1, 0x1.55b9354b40bcep-1, 0x1.57c57f336f191p-1,
    0x1.59cfb25fae87fp-1, 0x1.5bd7d30e71c73p-1, 0x1.5ddde57149923p-1,
    0x1.5fe1edad18919p-1, 0x1.61e3efda46467p-1,
};

constexpr double kLogLo[128] = {
    0x1.2821ad5a6d357p-63, 0x1.74944bc161072p-61, -0x1.865ad48159d00p-61,
    -0x1.90ae69229dc86p-60, -0x1.74d7444dd6241p-59, -0x1.cab8569c56e40p-64,
    0x1.eb41d00a417e9p-60, 0x1.078f14c95ff53p-59, 0x1.006d2999e22dcp-58,
    0x1.1f6d34e01d981p-61, -0x1.511583653349bp-58, -0x1.f108b1d8436d3p-59,
    0x1.a2240644d7da2p-59, -0x1.a099e1c184e8ep-59, -0x1.3ef0e61f9b03cp-58,
    0x1.b90dd951d90fap-58, 0x1.8be64b8b7759bp-59, -0x1.2f39b81479b67p-58,
    0x1.94409f1d3f83ap-60, -0x1.dab840e7f6177p-57, -0x1.b5ae71f658247p-57,
    0x1.ba62b8c13f7f4p-57, -0x1.f767e433c98aap-57, 0x1.8d16eaaba9419p-57,
    -0x1.9201c9c3d5165p-59, 0x1.6d9bf9d57b326p-58, 0x1.141b7f8c5fa9ep-58,
    0x1.2589eb96a6240p-59, -0x1.51439c1ff83e7p-58, -0x1.a8c37918c39ebp-58,
    -0x1.d5d8023e61e5fp-57, 0x1.6108e3ae024acp-60, 0x1.339a07d55b696p-57,
    0x1.c698a33316dfbp-58, -0x1.dc074737f9135p-60, -0x1.13a09202fe73dp-57,
    -0x1.3b9568ff6feadp-57, 0x1.08b83fcbdef40p-57, 0x1.21f640e1e5ec9p-56,
    0x1.86cc531dba494p-57, -0x1.02c2e4f1b2eb9p-56, -0x1.93fbf3418960dp-57,
    -0x1.9eed8ae0ebd3cp-59, -0x1.85ad7f614ab51p-58, -0x1.ea3598981366fp-57,
    0x1.02a7589fba088p-57, 0x1.53668e578d9cdp-58, -0x1.83262e2b59206p-57,
    -0x1.bff0d07c5df6dp-59, -0x1.1aa87d977dc5ep-56, -0x1.58ce7bf1846eep-56,
    -0x1.c6bcb7dee9a3dp-56, -0x1.063077d7e37b7p-56, 0x1.db0af8efb83c7p-62,
    0x1.957a93326784dp-56, 0x1.ee99bf7143954p-56, -0x1.d6d5d64f5daf8p-57,
    -0x1.6783cb9801a5bp-56, 0x1.76dc35fb48fe4p-56, -0x1.700c9d2029045p-56,
    0x1.d754b0205fa6cp-56, 0x1.5e3ea3b96a3dfp-57, -0x1.5a3f62db48f27p-56,
    0x1.7e81149622bdfp-56, 0x1.a0128698ba0b8p-56, 0x1.529dac69f61f1p-56,
    0x1.682c7ade8dee3p-56, -0x1.0ee1a7dd74ea6p-58, 0x1.1524332cd95c4p-56,
    -0x1.385e3e3ea99a8p-58, 0x1.46868de7f39f6p-57, -0x1.82947258b6889p-58,
    0x1.c5bbc32ef5aebp-56, 0x1.4acce112c40f2p-57, 0x1.4841807b53f96p-57,
    -0x1.abc65a3f2f204p-56, 0x1.51e1399f96398p-56, -0x1.34c36e0f052b9p-56,
    -0x1.de45038241ecfp-56, -0x1.81e47141b8404p-56, 0x1.200e221139873p-59,
    0x1.618ae4f008400p-56, -0x1.b615859d5a349p-62, 0x1.4043750211778p-55,
    0x1.8aae29a41ba4ap-59, 0x1.935b8ee4f9efep-58, 0x1.785826e49f318p-55,
    0x1.02936cabac09ap-56, 0x1.6119595d0f3c3p-59, 0x1.ba8443b9db19dp-55,
    0x1.dc70f563f9920p-56, 0x1.7e5e3b6a496ecp-55, -0x1.cb19c15477c8ep-56,
    -0x1.9a6baf4f4e637p-56, 0x1.2770a5c124ab5p-56, 0x1.d27563647963dp-56,
    0x1.c42f71ef43276p-55, -0x1.c24f0c9187c92p-57, -0x1.bebb8cf0f6d11p-57,
    -0x1.86a95781c6727p-56, 0x1.813f3f4aaa9a3p-60, 0x1.ed8322925675ap-56,
    0x1.9ae9d3664e355p-55, -0x1.7dcbcc6300133p-55, 0x1.f6348fb97128fp-57,
    0x1.1c6ba66fd0910p-55, 0x1.727d468096436p-56, -0x1.756f4d8a9b974p-57,
    0x1.5ce11148e1124p-56, -0x1.e80db7025bed1p-60, 0x1.f66e975ec9f52p-59,
    0x1.13c8b79ff2789p-58, -0x1.4d411c2cd7cf1p-55, -0x1.5701d7ad284a5p-55,
    -0x1.a930fed5d6b7ep-60, 0x1.2a18a88ca56b5p-56, -0x1.2c7a06beea772p-55,
    0x1.01a9a829c011bp-56, -0x1.68ca8b1bcea9dp-55, 0x1.a332128e4a77fp-55,
    -0x1.7722c14b894e2p-57, -0x1.1f342e541a63dp-59, 0x1.1eac5c4377e6ep-55,
    -0x1.bb94822ace357p-57, -0x1.c9649352e8e44p-67, 0x1.0fa37d75ef285p-59,
    0x1.92e93de3ce483p-56, 0x1.7923604841473p-57,
};

constexpr double kLn2Hi = 0x1.62e42fefa39efp-1;
constexpr double kLn2Lo = 0x1.abc9e3b39803fp-56;

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#define TINTAVO_HAVE_AVX2_KERNEL 1
#define TINTAVO_VECTOR_TARGET __attribute__((target("avx2,fma")))
#define TINTAVO_VECTOR_INLINE __attribute__((target("avx2,fma"), always_inline)) inline

// Runs during static initialisation, possibly before the compiler's own CPU detection.
const bool kHasAvx2Fma = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}();

TINTAVO_VECTOR_INLINE void TwoSum4(__m256d a, __m256d b, __m256d& s, __m256d& e) {
    s = _mm256_add_pd(a, b);
    const __m256d bb = _mm256_sub_pd(s, a);
    e = _mm256_add_pd(_mm256_sub_pd(a, _mm256_sub_pd(s, bb)), _mm256_sub_pd(b, bb));
}

TINTAVO_VECTOR_INLINE void FastTwoSum4(__m256d a, __m256d b, __m256d& s, __m256d& e) {  // |a| >= |b|
    s = _mm256_add_pd(a, b);
    e = _mm256_sub_pd(b, _mm256_sub_pd(s, a));
}

// c0 - r c1
TINTAVO_VECTOR_INLINE __m256d CoefficientPair(__m256d r, double c0, double c1) {
    return _mm256_sub_pd(_mm256_set1_pd(c0), _mm256_mul_pd(r, _mm256_set1_pd(c1)));
}

// Four kernel values at once; the returned mask has a bit set for each lane whose value is settled.
TINTAVO_VECTOR_INLINE int FastKernel3x4(__m256d sArg, __m256d& result) {
    const __m256i mantissaMask = _mm256_set1_epi64x((std::int64_t(1) << 52) - 1);
    const __m256d inRange = _mm256_and_pd(_mm256_cmp_pd(sArg, _mm256_set1_pd(0x1p-900), _CMP_GE_OQ),
                                          _mm256_cmp_pd(sArg, _mm256_set1_pd(0x1p900), _CMP_LE_OQ));
    // Out-of-range lanes compute with 1.5 to keep the arithmetic finite; their result is dropped.
    const __m256d s = _mm256_blendv_pd(_mm256_set1_pd(1.5), sArg, inRange);

    // s = m 2^e with 1 <= m < 2 (s is normal here); the top 7 bits of m's fraction pick c.
    const __m256i sBits = _mm256_castpd_si256(s);
    const __m256i biased = _mm256_srli_epi64(sBits, 52);
    // e as a double: 2^52 + biased exponent, less 2^52 + 1023, both steps exact.
    const __m256d de = _mm256_sub_pd(
        _mm256_castsi256_pd(_mm256_or_si256(biased, _mm256_set1_epi64x(0x4330000000000000LL))),
        _mm256_set1_pd(0x1p52 + 1023.0));
    const __m256d m = _mm256_castsi256_pd(
        _mm256_or_si256(_mm256_and_si256(sBits, mantissaMask), _mm256_set1_epi64x(std::int64_t(1023) << 52)));
    const __m256i index = _mm256_and_si256(_mm256_srli_epi64(sBits, 45), _mm256_set1_epi64x(127));
    const __m256d inv = _mm256_i64gather_pd(kLogInv, index, 8);

    // r = m / c - 1, exactly, as rh + rl; |r| < 2^-8.
    const __m256d one = _mm256_set1_pd(1.0), half = _mm256_set1_pd(0.5);
    const __m256d ph = _mm256_mul_pd(m, inv);
    const __m256d pl = _mm256_fmsub_pd(m, inv, ph);
    __m256d rh, rl;
    TwoSum4(_mm256_sub_pd(ph, one), pl, rh, rl);

    // ln(1 + r) = r - r^2 / 2 + r^3 (1/3 - r/4 + ... - r^7/10).
    const __m256d qh = _mm256_mul_pd(rh, rh);
    const __m256d ql =
        _mm256_add_pd(_mm256_fmsub_pd(rh, rh, qh), _mm256_mul_pd(_mm256_mul_pd(_mm256_set1_pd(2.0), rh), rl));
    const __m256d p01 = CoefficientPair(rh, 1.0 / 3, 1.0 / 4), p23 = CoefficientPair(rh, 1.0 / 5, 1.0 / 6);
    const __m256d p45 = CoefficientPair(rh, 1.0 / 7, 1.0 / 8), p67 = CoefficientPair(rh, 1.0 / 9, 1.0 / 10);
    const __m256d q2 = _mm256_mul_pd(qh, qh);
    const __m256d poly = _mm256_add_pd(_mm256_add_pd(p01, _mm256_mul_pd(qh, p23)),
                                       _mm256_mul_pd(q2, _mm256_add_pd(p45, _mm256_mul_pd(qh, p67))));
    const __m256d tail = _mm256_mul_pd(_mm256_mul_pd(qh, rh), poly);
    __m256d s1, e1, lrH, lrL;
    TwoSum4(rh, _mm256_mul_pd(_mm256_set1_pd(-0.5), qh), s1, e1);
    FastTwoSum4(s1,
                _mm256_add_pd(_mm256_sub_pd(_mm256_add_pd(e1, rl), _mm256_mul_pd(half, ql)), tail), lrH, lrL);

    // ln s = e ln 2 + ln c + ln(1 + r).
    const __m256d ln2Hi = _mm256_set1_pd(kLn2Hi);
    const __m256d eh = _mm256_mul_pd(de, ln2Hi);
    const __m256d el = _mm256_add_pd(_mm256_fmsub_pd(de, ln2Hi, eh), _mm256_mul_pd(de, _mm256_set1_pd(kLn2Lo)));
    __m256d a1, a2, b1, b2;
    TwoSum4(eh, _mm256_i64gather_pd(kLogHi, index, 8), a1, a2);
    a2 = _mm256_add_pd(a2, _mm256_add_pd(el, _mm256_i64gather_pd(kLogLo, index, 8)));
    FastTwoSum4(a1, a2, a1, a2);
    TwoSum4(a1, lrH, b1, b2);
    b2 = _mm256_add_pd(b2, _mm256_add_pd(a2, lrL));
    FastTwoSum4(b1, b2, b1, b2);

    // s ln sqrt(s) = s ln(s) / 2, as the nearest double d plus the remainder lo.
    const __m256d vh = _mm256_mul_pd(s, b1);
    const __m256d vl = _mm256_add_pd(_mm256_fmsub_pd(s, b1, vh), _mm256_mul_pd(s, b2));
    __m256d d, lo;
    FastTwoSum4(vh, vl, d, lo);
    d = _mm256_mul_pd(d, half);
    lo = _mm256_mul_pd(lo, half);

    // The extended-precision result lies within err of d + lo. The square root is correctly
    // rounded to 64 bits, which moves its logarithm by at most 2^-64; the logarithm (the x87
    // fyl2x behind logl, with ln 2 rounded to 64 bits) is within one unit of its last place,
    // 2^-63 relative (0.90 units measured at worst over four million arguments against a
    // quadruple-precision logarithm); the product adds half a unit, 2^-64 relative; d + lo is
    // good to about 2^-77 s. So the result lies within 2^-64 s + 2^-62 |d| of d + lo, and err
    // allows four times that. It rounds to d when no half-way point between d and a neighbour
    // lies within that distance.
    const __m256d signMask = _mm256_set1_pd(-0.0);
    const __m256d err = _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(0x1p-60), _mm256_andnot_pd(signMask, d)),
                                      _mm256_mul_pd(_mm256_set1_pd(0x1p-62), s));
    const __m256i dBits = _mm256_castpd_si256(d);
    const __m256i dExp = _mm256_and_si256(_mm256_srli_epi64(dBits, 52), _mm256_set1_epi64x(0x7ff));
    const __m256d ulp = _mm256_castsi256_pd(_mm256_slli_epi64(_mm256_sub_epi64(dExp, _mm256_set1_epi64x(52)), 52));
    const __m256d zero = _mm256_setzero_pd();
    const __m256d towardZero =
        _mm256_xor_pd(_mm256_cmp_pd(lo, zero, _CMP_LT_OQ), _mm256_cmp_pd(d, zero, _CMP_LE_OQ));
    const __m256d powerOfTwo =
        _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(dBits, mantissaMask), _mm256_setzero_si256()));
    const __m256d halfGap = _mm256_blendv_pd(_mm256_mul_pd(half, ulp), _mm256_mul_pd(_mm256_set1_pd(0.25), ulp),
                                             _mm256_and_pd(powerOfTwo, towardZero));
    const __m256d expOk = _mm256_castsi256_pd(
        _mm256_and_si256(_mm256_cmpgt_epi64(dExp, _mm256_set1_epi64x(53)),
                         _mm256_cmpgt_epi64(_mm256_set1_epi64x(0x7ff), dExp)));
    const __m256d settled =
        _mm256_and_pd(_mm256_and_pd(inRange, expOk),
                      _mm256_cmp_pd(_mm256_add_pd(_mm256_andnot_pd(signMask, lo), err), halfGap, _CMP_LT_OQ));
    result = d;
    return _mm256_movemask_pd(settled);
}

// Kernel values of count squared distances (each > 0).
TINTAVO_VECTOR_TARGET void FastKernel3Batch(const double* s, double* out, int count) {
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        __m256d v;
        const int settled = FastKernel3x4(_mm256_loadu_pd(s + i), v);
        _mm256_storeu_pd(out + i, v);
        if (settled != 0xF)
            for (int lane = 0; lane < 4; ++lane)
                if (!(settled & (1 << lane))) out[i + lane] = Kernel3Reference(s[i + lane]);
    }
    if (i < count) {
        double in[4] = {1.5, 1.5, 1.5, 1.5}, res[4];
        for (int lane = 0; lane < count - i; ++lane) in[lane] = s[i + lane];
        __m256d v;
        const int settled = FastKernel3x4(_mm256_loadu_pd(in), v);
        _mm256_storeu_pd(res, v);
        for (int lane = 0; lane < count - i; ++lane)
            out[i + lane] = (settled & (1 << lane)) ? res[lane] : Kernel3Reference(s[i + lane]);
    }
}
#else
const bool kHasAvx2Fma = false;
void FastKernel3Batch(const double* s, double* out, int count) {
    for (int i = 0; i < count; ++i) out[i] = Kernel3Reference(s[i]);
}
#endif

}  // namespace

void Kernel3Batch(const double* s, double* out, int count) {
    if (kHasAvx2Fma) {
        FastKernel3Batch(s, out, count);
        return;
    }
    for (int i = 0; i < count; ++i) out[i] = Kernel3Reference(s[i]);
}

namespace {

// The dimension-3 kernel r^2 ln r of a squared distance s > 0.
inline double Kernel3(double s) {
    double out;
    Kernel3Batch(&s, &out, 1);
    return out;
}

}  // namespace

double TTPSpline::Kernel(double s) const {
    if (s == 0.0) return 0.0;
    const long double ls = s;
    switch (Dimension) {
        case 1:
            return static_cast<double>(ls * ls);
        case 2:
            return static_cast<double>(ls * std::log(ls));
        case 3:
            return Kernel3(s);
        default:
            throw std::runtime_error("Error thin plate splines only defined for 1,2,3 dimensions");
    }
}

std::unique_ptr<TDoubleMatrix> TTPSpline::PointsToMatrix(const TPoint3D* points) const {
    auto m = std::make_unique<TDoubleMatrix>(3, PointCount);
    for (int k = 0; k < PointCount; ++k) {
        m->SetCell(0, k, points[k].X);
        m->SetCell(1, k, points[k].Y);
        m->SetCell(2, k, points[k].Z);
    }
    return m;
}

void TTPSpline::Fit(const TPoint3D* source, const TPoint3D* target) {
    std::unique_ptr<TDoubleMatrix> m = PointsToMatrix(source);
    std::unique_ptr<TDoubleMatrix> v = PointsToMatrix(target);
    TINTAVO_ASSERT(m->Width() == v->Width() && m->Height() == v->Height(), kUnit,
                   "Dimension error - number of points and dimension must match");
    Dimension = v->Width();
    const int d = Dimension;
    const int n = m->Height();

    // Row k of P is (1, x_k, y_k, z_k).
    auto p = std::make_unique<TDoubleMatrix>(d + 1, n);
    p->PasteAt(*m, 1, 0);
    for (int k = 0; k < n; ++k) p->SetCell(0, k, 1.0);

    TDoubleMatrix l(n + d + 1, n + d + 1);
    for (int pi = 0; pi < n; ++pi) {
        for (int i = 0; i < n; ++i) {
            double s = 0.0;
            for (int j = 0; j < d; ++j) {
                const double diff = m->GetCell(j, pi) - m->GetCell(j, i);
                s += diff * diff;
            }
            l.SetCell(pi, i, static_cast<long double>(s) <= CoincidenceThreshold ? 0.0 : Kernel(s));
        }
    }
    l.PasteAt(*p, n, 0);
    p->TransposeSelf();
    l.PasteAt(*p, 0, n);
    p.reset();

    if (l.Invert() == ssSingular)
        throw std::runtime_error(
            "Error calculating the thin-plate-splines coefficient matrix. Matrix is not invertable");

    std::vector<double> sourcePoints = m->ToFlatArray();
    const int sourceDim = m->Width();
    const int sourceCount = m->Height();

    TDoubleMatrix r(d, n + d + 1);
    r.PasteAt(*v, 0, 0);
    l.MultiplyBy(r);

    // Commit only once everything that can fail has succeeded.
    Coefficients = l.ToFlatArray();
    CoefWidth = d;
    CoefHeight = n + d + 1;
    SourcePoints = std::move(sourcePoints);
    SourceDim = sourceDim;
    SourceCount = sourceCount;
}

void TTPSpline::CheckEvaluable() const {
    TINTAVO_ASSERT(Dimension == 3, kUnit, "Dimension error");
    TINTAVO_ASSERT(Dimension > 0, kUnit, "Error 0 dimension");
    TINTAVO_ASSERT(SourceDim == 3 && CoefWidth == 3 && CoefHeight == SourceCount + 4 &&
                       static_cast<long long>(SourcePoints.size()) >= 3LL * SourceCount &&
                       static_cast<long long>(Coefficients.size()) >= 3LL * CoefHeight,
                   kUnit, "Dimension error");
}

void TTPSpline::Evaluate(double x, double y, double z, double& outX, double& outY, double& outZ) const {
    // The query point is a 1-row, 3-column matrix in the textbook formulation; it is kept in
    // locals here because this runs once per LUT node. The arithmetic is the same.
    const double q[3] = {x, y, z};
    CheckEvaluable();

    const int n = SourceCount;
    const double* src = SourcePoints.data();
    const double* w = Coefficients.data();
    double a0 = 0.0, a1 = 0.0, a2 = 0.0;
    // Squared distances first, then their kernel values in one batch, then the sums in order:
    // the same arithmetic as one point after the other.
    constexpr int kChunk = 64;
    double dist[kChunk], kern[kChunk];
    bool radial[kChunk];
    for (int start = 0; start < n; start += kChunk) {
        const int count = std::min(kChunk, n - start);
        int far = 0;
        for (int k = 0; k < count; ++k) {
            const double* p = src + 3 * k;
            double s = 0.0;
            double diff = p[0] - q[0];
            s += diff * diff;
            diff = p[1] - q[1];
            s += diff * diff;
            diff = p[2] - q[2];
            s += diff * diff;
            // A point within 1E-5 of a control point gets no radial term from it.
            radial[k] = static_cast<long double>(s) > CoincidenceThreshold;
            if (radial[k]) dist[far++] = s;
        }
        Kernel3Batch(dist, kern, far);
        int used = 0;
        for (int k = 0; k < count; ++k, src += 3, w += 3) {
            if (!radial[k]) continue;
            const double k3 = kern[used++];
            a0 += k3 * w[0];
            a1 += k3 * w[1];
            a2 += k3 * w[2];
        }
    }
    // w now points at row n: the constant term, then the linear terms of x, y, z.
    const double a[3] = {a0, a1, a2};
    double out[3];
    for (int c = 0; c < 3; ++c) {
        double v = a[c] + w[c];
        for (int i = 0; i < 3; ++i) v += q[i] * w[3 * (1 + i) + c];
        out[c] = v;
    }
    outX = out[0];
    outY = out[1];
    outZ = out[2];
}

namespace {

// The largest double at or below CoincidenceThreshold: a double s lies within the threshold
// exactly when s <= this, which spares the conversion to extended precision in the inner loop.
const double kCoincidenceDouble = [] {
    double t = static_cast<double>(CoincidenceThreshold);
    if (static_cast<long double>(t) > CoincidenceThreshold) t = std::nextafter(t, 0.0);
    return t;
}();

// Working memory of EvaluateLine, kept per thread so that a table fill allocates it once.
struct TLineScratch {
    std::vector<double> Distances, Kernels;
};

// The two loops of RadialSumsAlongLine, compiled once for any processor and once for wider
// registers: the same additions and multiplications, each rounded on its own, in the same order.
__attribute__((always_inline)) inline bool LineDistancesBody(const double* points, int n, double x, double y,
                                                             const double* z, int count, double* __restrict dist) {
    bool coincident = false;
    for (int k = 0; k < n; ++k) {
        const double* p = points + 3 * k;
        const double dx = p[0] - x, dy = p[1] - y;
        double xy = dx * dx;
        xy += dy * dy;
        const double pz = p[2];
        double* __restrict row = dist + static_cast<std::size_t>(k) * count;
        for (int i = 0; i < count; ++i) {
            const double dz = pz - z[i];
            const double s = xy + dz * dz;
            row[i] = s;
            coincident |= s <= kCoincidenceDouble;
        }
    }
    return !coincident;
}

__attribute__((always_inline)) inline void LineSumsBody(const double* kern, const double* weights, int n, int count,
                                                        double* __restrict sums) {
    double* __restrict a0 = sums;
    double* __restrict a1 = sums + count;
    double* __restrict a2 = sums + 2 * static_cast<std::size_t>(count);
    std::fill(a0, a0 + 3 * static_cast<std::size_t>(count), 0.0);
    for (int k = 0; k < n; ++k) {
        const double w0 = weights[3 * k], w1 = weights[3 * k + 1], w2 = weights[3 * k + 2];
        const double* __restrict row = kern + static_cast<std::size_t>(k) * count;
        for (int i = 0; i < count; ++i) {
            a0[i] += row[i] * w0;
            a1[i] += row[i] * w1;
            a2[i] += row[i] * w2;
        }
    }
}

#if defined(TINTAVO_HAVE_AVX2_KERNEL)
TINTAVO_VECTOR_TARGET bool LineDistancesAvx2(const double* points, int n, double x, double y, const double* z,
                                             int count, double* dist) {
    return LineDistancesBody(points, n, x, y, z, count, dist);
}
TINTAVO_VECTOR_TARGET void LineSumsAvx2(const double* kern, const double* weights, int n, int count, double* sums) {
    LineSumsBody(kern, weights, n, count, sums);
}
#endif

// Squared distances, control point by control point (the row of point k holds the line's
// nodes), summed in the order of the node-by-node evaluation: x, then y, then z. False when a
// node lies within the coincidence radius of a control point.
bool LineDistances(const double* points, int n, double x, double y, const double* z, int count, double* dist) {
#if defined(TINTAVO_HAVE_AVX2_KERNEL)
    if (kHasAvx2Fma) return LineDistancesAvx2(points, n, x, y, z, count, dist);
#endif
    return LineDistancesBody(points, n, x, y, z, count, dist);
}

// Every node's sums over the control points in order.
void LineSums(const double* kern, const double* weights, int n, int count, double* sums) {
#if defined(TINTAVO_HAVE_AVX2_KERNEL)
    if (kHasAvx2Fma) {
        LineSumsAvx2(kern, weights, n, count, sums);
        return;
    }
#endif
    LineSumsBody(kern, weights, n, count, sums);
}

}  // namespace

bool RadialSumsAlongLine(const double* points, const double* weights, int n, double x, double y, const double* z,
                         int count, double* sums) {
    if (count <= 0) return true;
    const std::size_t cells = static_cast<std::size_t>(n) * static_cast<std::size_t>(count);
    thread_local TLineScratch scratch;
    if (scratch.Distances.size() < cells) {
        scratch.Distances.resize(cells);
        scratch.Kernels.resize(cells);
    }
    double* dist = scratch.Distances.data();
    double* kern = scratch.Kernels.data();

    if (!LineDistances(points, n, x, y, z, count, dist)) return false;
    Kernel3Batch(dist, kern, static_cast<int>(cells));
    LineSums(kern, weights, n, count, sums);
    return true;
}

void TTPSpline::EvaluateLine(double x, double y, const double* z, int count, TPoint3D* out) const {
    CheckEvaluable();
    if (count <= 0) return;
    const int n = SourceCount;
    const double* w = Coefficients.data();
    thread_local std::vector<double> sums;
    if (sums.size() < 3 * static_cast<std::size_t>(count)) sums.resize(3 * static_cast<std::size_t>(count));
    if (!RadialSumsAlongLine(SourcePoints.data(), w, n, x, y, z, count, sums.data())) {
        // A node within 1E-5 of a control point gets no radial term from it: rare enough to
        // leave to the node-by-node evaluation.
        for (int i = 0; i < count; ++i) Evaluate(x, y, z[i], out[i].X, out[i].Y, out[i].Z);
        return;
    }
    const double* a0 = sums.data();
    const double* a1 = a0 + count;
    const double* a2 = a1 + count;
    // Row n: the constant term, then the linear terms of x, y, z.
    const double* affine = w + 3 * n;
    for (int i = 0; i < count; ++i) {
        const double q[3] = {x, y, z[i]};
        const double a[3] = {a0[i], a1[i], a2[i]};
        double v[3];
        for (int c = 0; c < 3; ++c) {
            v[c] = a[c] + affine[c];
            for (int j = 0; j < 3; ++j) v[c] += q[j] * affine[3 * (1 + j) + c];
        }
        out[i] = {v[0], v[1], v[2]};
    }
}

}  // namespace tintavo
