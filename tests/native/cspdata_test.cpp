// The CSP data area decoder on hostile areas, natively under the sanitizers.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <vector>

#include "agent/token/cspdata.h"

namespace {

void PutLe32(std::vector<unsigned char>& area, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        area[offset + i] = (unsigned char)(value >> (8 * i));
}

size_t RecordStart(int k)
{
    return CSP_RECORD_OFFSET + CSP_RECORD_BYTES * (size_t)(k - 1);
}

// Writes a record with a name of `length` bytes ('a', 'b', ...) and the two flags.
void PutRecord(std::vector<unsigned char>& area, int k, uint32_t length, uint32_t ex, uint32_t sig)
{
    size_t start = RecordStart(k);
    PutLe32(area, start, length);
    for (uint32_t i = 0; i < length; ++i)
        area[start + 4 + i] = (unsigned char)('a' + i % 26);
    PutLe32(area, start + 4 + length, ex);
    PutLe32(area, start + 8 + length, sig);
}

TEST(CspStatus, WordIsLittleEndianAndSelectsLowFourBits)
{
    std::vector<unsigned char> area(CSP_AREA_BYTES, 0);
    uint32_t status = 0;
    PutLe32(area, 0, 0xFFFFFFF5u);  // stray high bits around containers 1 and 3
    ASSERT_EQ(CspDecodeStatus(area.data(), area.size(), &status), CSP_OK);
    EXPECT_EQ(status, 0xFFFFFFF5u);
    const int expected[] = {1, 0, 1, 0};
    for (int k = 1; k <= 4; ++k)
        EXPECT_EQ(CspContainerPresent(status, k), expected[k - 1]) << k;
    EXPECT_EQ(CspContainerPresent(16, 1) + CspContainerPresent(16, 4), 0);
    EXPECT_EQ(CspContainerPresent(0xFFFFFFFFu, 0), 0);
    EXPECT_EQ(CspContainerPresent(0xFFFFFFFFu, 5), 0);
}

TEST(CspStatus, FewerThanFourBytesAreRefused)
{
    unsigned char area[3] = {5, 0, 0};
    uint32_t status = 77;
    EXPECT_EQ(CspDecodeStatus(area, 3, &status), CSP_ERR_SHORT);
    EXPECT_EQ(status, 77u);
}

TEST(CspRecord, FieldsMoveWithTheNameLength)
{
    std::vector<unsigned char> area(CSP_AREA_BYTES, 0);
    PutRecord(area, 1, 7, 1, 2);
    PutRecord(area, 4, 51, 3, 0x80000001u);  // 51: the signature flag fills the record's end
    CspContainerRecord r;
    ASSERT_EQ(CspDecodeRecord(area.data(), area.size(), 1, &r), CSP_OK);
    EXPECT_EQ(r.nameLength, 7u);
    EXPECT_EQ(r.name, area.data() + RecordStart(1) + 4);
    EXPECT_EQ(memcmp(r.name, "abcdefg", 7), 0);
    EXPECT_EQ(r.exKeyFlag, 1u);
    EXPECT_EQ(r.sigKeyFlag, 2u);
    ASSERT_EQ(CspDecodeRecord(area.data(), area.size(), 4, &r), CSP_OK);
    EXPECT_EQ(r.nameLength, 51u);
    EXPECT_EQ(r.exKeyFlag, 3u);
    EXPECT_EQ(r.sigKeyFlag, 0x80000001u);
    EXPECT_EQ(RecordStart(4) + 12 + 51, (size_t)CSP_AREA_BYTES);
}

// Each case's area is given to the decoder as a heap block of exactly `delivered` bytes,
// so ASan catches a read past what the token delivered.
TEST(CspRecord, HostileLengthsAndShortAreasAreRefused)
{
    struct Case {
        const char* what;
        int k;
        uint32_t length;
        size_t delivered;
        int expected;
    } cases[] = {
        {"51 bytes in the last record", 4, 51, 256, CSP_OK},
        {"52 bytes: flags past the record", 1, 52, 256, CSP_ERR_NAME_LENGTH},
        {"0xFF.. at the last record", 4, 0xFFFFFFFFu, 256, CSP_ERR_NAME_LENGTH},
        {"negative", 2, 0x80000000u, 256, CSP_ERR_NAME_LENGTH},
        {"past the area at the last record", 4, 60, 256, CSP_ERR_NAME_LENGTH},
        {"short area cuts the flags", 1, 10, 4 + 4 + 10 + 4, CSP_ERR_SHORT},
        {"short area holds the record whole", 1, 10, 4 + 4 + 10 + 8, CSP_OK},
        {"short area ends before the length", 3, 5, 131, CSP_ERR_SHORT},
        {"zero-length name", 2, 0, 256, CSP_OK},
        {"container 0", 0, 5, 256, CSP_ERR_CONTAINER},
        {"container 5", 5, 5, 256, CSP_ERR_CONTAINER},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> full(CSP_AREA_BYTES, 0);
        if (c.k >= 1 && c.k <= 4) {
            PutLe32(full, RecordStart(c.k), c.length);
            if (c.length <= 51)
                PutRecord(full, c.k, c.length, 1, 1);
        }
        std::vector<unsigned char> area(full.begin(), full.begin() + c.delivered);
        CspContainerRecord r;
        memset(&r, 0xCC, sizeof r);
        EXPECT_EQ(CspDecodeRecord(area.data(), area.size(), c.k, &r), c.expected) << c.what;
        if (c.expected == CSP_OK)
            EXPECT_EQ(r.nameLength, c.length) << c.what;
    }
}

TEST(CspRecord, AllOnesAreaRefusesEveryContainer)
{
    std::vector<unsigned char> area(CSP_AREA_BYTES, 0xFF);
    uint32_t status = 0;
    ASSERT_EQ(CspDecodeStatus(area.data(), area.size(), &status), CSP_OK);
    for (int k = 1; k <= 4; ++k) {
        EXPECT_EQ(CspContainerPresent(status, k), 1);
        CspContainerRecord r;
        EXPECT_EQ(CspDecodeRecord(area.data(), area.size(), k, &r), CSP_ERR_NAME_LENGTH) << k;
    }
}

TEST(CspKeyFlag, OnlyBitsZeroAndOneCount)
{
    const struct {
        uint32_t flag;
        int set;
    } cases[] = {{0, 0}, {1, 1}, {2, 1}, {3, 1}, {4, 0}, {0xFFFFFFFCu, 0}, {0x80000001u, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(CspKeyFlagSet(c.flag), c.set) << std::hex << c.flag;
}

TEST(CspCertIds, ExchangeAndSignatureIdentifiers)
{
    const int exchange[] = {-1, 1, 5, 6, 7, -1};
    const int signature[] = {-1, 0, 8, 9, 10, -1};
    for (int k = 0; k <= 5; ++k) {
        EXPECT_EQ(CspExchangeCertId(k), exchange[k]) << k;
        EXPECT_EQ(CspSignatureCertId(k), signature[k]) << k;
    }
}

TEST(DerOuterLength, HeaderForms)
{
    const struct {
        std::vector<unsigned char> bytes;
        size_t expected;
    } cases[] = {
        {{0x30, 0x03, 1, 2, 3}, 5},
        {{0x30, 0x82, 0x01, 0x00}, 4 + 256},            // claims more than delivered
        {{0x30, 0x84, 0xFF, 0xFF, 0xFF, 0xFF}, (size_t)6 + 0xFFFFFFFFu},
        {{0x30, 0x80, 0, 0}, 0},                        // indefinite length
        {{0x30, 0x85, 1, 1, 1, 1, 1}, 0},               // wider than four bytes
        {{0x30, 0x82, 0x01}, 0},                        // header cut short
        {{0x02, 0x01, 0x00}, 0},                        // not a SEQUENCE
        {{0x30}, 0},
        {{}, 0},
    };
    for (const auto& c : cases) {
        std::vector<unsigned char> copy(c.bytes);
        EXPECT_EQ(DerOuterLength(copy.data(), copy.size()), c.expected) << copy.size();
    }
}

}  // namespace
