// What the agent remembers of what it put into "MY": the table, the exported list and
// the cache files. Deletions are checked by reopening the store.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "agent/certreg/certstore.h"
#include "agent/certreg/certtable.h"
#include "tests/support/certfixtures.h"
#include "tests/support/testsupport.h"

using namespace qmtest;

namespace {

const CertKind kKinds[] = {CERT_KIND_SIGN, CERT_KIND_EXCHANGE};

class CertTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetLog();
        RemoveBesideProgram("ConfigInfor.ini");
        ClearCertTable();
        EmptyExportedCertList();
        ASSERT_TRUE(ClearMyStore());
        ResetLog();
    }
    void TearDown() override
    {
        EmptyExportedCertList();
        ClearMyStore();
    }

    static std::string Fixture(const char* name)
    {
        std::string der = LoadFixtureCert(name);
        EXPECT_FALSE(der.empty()) << name;
        return der;
    }
    // Adds the certificate as the private-library pass does, then records it.
    static void Register(int token, int container, CertKind kind, const std::string& der)
    {
        std::string name = "c" + std::to_string(container);
        int keySpec = kind == CERT_KIND_SIGN ? 2 : 1;
        ASSERT_EQ(AddCertToTheSystem(name.data(), (int)name.size(), (const unsigned char*)der.data(),
                                     (int)der.size(), keySpec),
                  0);
        ASSERT_EQ(RecordCert(token, container, kind, (const unsigned char*)der.data(), (int)der.size()), 0);
    }
    static std::string Recorded(int token, int container, CertKind kind)
    {
        const CertRecord* r = GetCertRecord(token, container, kind);
        return r == NULL ? std::string("<none>") : std::string((const char*)r->encoding, r->length);
    }
    // A heap buffer as the standard-library pass hands it over: the encoding, then zeros.
    static unsigned char* ExportBuffer(const std::string& der)
    {
        unsigned char* buffer = (unsigned char*)calloc(1, EXPORT_BUFFER_BYTES);
        memcpy(buffer, der.data(), der.size());
        return buffer;
    }
};

TEST_F(CertTableTest, VisitingDeletesOnlyRecordedCertificatesAndKeepsTheTable)
{
    std::string a1s = Fixture("tokA_c1_sign.der"), a1e = Fixture("tokA_c1_exch.der");
    std::string a2s = Fixture("tokA_c2_sign.der");
    std::string b1s = Fixture("tokB_c1_sign.der"), unrelated = Fixture("cn_ABC.der");
    ASSERT_TRUE(AddToMyStore(unrelated, NULL));

    // Right after start-up nothing is recorded and a visit deletes nothing.
    for (int token = 0; token < CERT_TABLE_SLOTS; ++token)
        DeleteRecordedCerts(token, CERT_TABLE_CONTAINERS);
    EXPECT_EQ(ReadMyStore().size(), 1u);

    Register(3, 1, CERT_KIND_SIGN, a1s);
    Register(3, 1, CERT_KIND_EXCHANGE, a1e);
    Register(3, 2, CERT_KIND_SIGN, a2s);
    Register(7, 4, CERT_KIND_SIGN, b1s);
    for (int token = 0; token < CERT_TABLE_SLOTS; ++token)
        for (int n = 1; n <= CERT_TABLE_CONTAINERS; ++n)
            for (CertKind kind : kKinds) {
                bool expected = (token == 3 && n == 1) || (token == 3 && n == 2 && kind == CERT_KIND_SIGN) ||
                                (token == 7 && n == 4 && kind == CERT_KIND_SIGN);
                EXPECT_EQ(GetCertRecord(token, n, kind)->length > 0, expected) << token << "/" << n;
            }

    DeleteRecordedCerts(3, 1);  // container 1 only
    EXPECT_EQ(CountInMyStore(a1s), 0);
    EXPECT_EQ(CountInMyStore(a1e), 0);
    EXPECT_EQ(CountInMyStore(a2s), 1);
    DeleteRecordedCerts(3, CERT_TABLE_CONTAINERS);
    EXPECT_EQ(CountInMyStore(a2s), 0);
    EXPECT_EQ(CountInMyStore(b1s), 1);
    EXPECT_EQ(CountInMyStore(unrelated), 1);

    // The visit changed nothing; a later pass deletes the same encodings again.
    EXPECT_EQ(Recorded(3, 1, CERT_KIND_SIGN), a1s);
    EXPECT_EQ(Recorded(3, 1, CERT_KIND_EXCHANGE), a1e);
    EXPECT_EQ(Recorded(3, 2, CERT_KIND_SIGN), a2s);
    ASSERT_TRUE(AddToMyStore(a1s, NULL));
    DeleteRecordedCerts(3, CERT_TABLE_CONTAINERS);
    EXPECT_EQ(CountInMyStore(a1s), 0);

    // Recording again overwrites the record, whatever its former length.
    std::string shorter = Fixture("cn_96668e.der");
    ASSERT_LT(shorter.size(), a1s.size());
    ASSERT_EQ(RecordCert(3, 1, CERT_KIND_SIGN, (const unsigned char*)shorter.data(), (int)shorter.size()), 0);
    EXPECT_EQ(Recorded(3, 1, CERT_KIND_SIGN), shorter);
    EXPECT_EQ(ReadLog(), "");
}

TEST_F(CertTableTest, RefusedRecordsAreLoggedAndLoseNothing)
{
    std::string kept = Fixture("tokA_c1_sign.der"), big = Fixture("big5k.der");
    ASSERT_GT(big.size(), (size_t)CERT_RECORD_BYTES);
    std::string full(CERT_RECORD_BYTES, '\x5A');
    for (int token : {0, 29})
        for (int n : {1, 4})
            for (CertKind kind : kKinds)
                ASSERT_EQ(RecordCert(token, n, kind, (const unsigned char*)kept.data(), (int)kept.size()), 0);

    struct Case {
        int token, container;
        CertKind kind;
        const std::string* der;
        int length;
    } cases[] = {
        {0, 1, CERT_KIND_SIGN, &big, (int)big.size()},
        {0, 1, CERT_KIND_SIGN, &full, CERT_RECORD_BYTES + 1},
        {0, 1, CERT_KIND_SIGN, &kept, 0},
        {0, 1, CERT_KIND_SIGN, &kept, -1},
        {0, 1, CERT_KIND_SIGN, NULL, 10},
        {-1, 1, CERT_KIND_SIGN, &kept, (int)kept.size()},
        {30, 1, CERT_KIND_SIGN, &kept, (int)kept.size()},
        {0, 0, CERT_KIND_SIGN, &kept, (int)kept.size()},
        {0, 5, CERT_KIND_EXCHANGE, &kept, (int)kept.size()},
        {29, 4, (CertKind)2, &kept, (int)kept.size()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.token << "/" << c.container << "/" << c.kind << " length "
                                          << c.length);
        ResetLog();
        const unsigned char* der = c.der == NULL ? NULL : (const unsigned char*)c.der->data();
        EXPECT_EQ(RecordCert(c.token, c.container, c.kind, der, c.length), -1);
        EXPECT_EQ(LogMessages().size(), 1u);
    }
    for (int token : {0, 29})
        for (int n : {1, 4})
            for (CertKind kind : kKinds)
                EXPECT_EQ(Recorded(token, n, kind), kept);
    EXPECT_EQ(GetCertRecord(30, 1, CERT_KIND_SIGN), (const CertRecord*)NULL);
    EXPECT_EQ(GetCertRecord(0, 5, CERT_KIND_SIGN), (const CertRecord*)NULL);

    // Exactly 4096 bytes fit.
    EXPECT_EQ(RecordCert(0, 1, CERT_KIND_SIGN, (const unsigned char*)full.data(), CERT_RECORD_BYTES), 0);
    EXPECT_EQ(Recorded(0, 1, CERT_KIND_SIGN), full);
}

TEST_F(CertTableTest, EmptyingTheListDeletesEachEncodingByItsKeptLength)
{
    // The buffers are zero-padded to 8192 bytes: only the kept length names the certificate.
    std::vector<std::string> certs = CertVariants(Fixture("tokB_c2_exch.der"), EXPORTED_LIST_CAPACITY - 1);
    certs.push_back(Fixture("big5k.der"));
    std::string unrelated = Fixture("cn_96668e1.der");
    ASSERT_TRUE(AddToMyStore(certs, NULL));
    ASSERT_TRUE(AddToMyStore(unrelated, NULL));
    for (const std::string& der : certs)
        ASSERT_EQ(AppendExportedCert(ExportBuffer(der), (int)der.size()), 0);
    ASSERT_EQ(GetExportedCertCount(), EXPORTED_LIST_CAPACITY);

    // A full list refuses more, and so do lengths the buffer cannot hold; nothing listed is lost.
    struct Case {
        int length;
    } refused[] = {{(int)unrelated.size()}, {0}, {EXPORT_BUFFER_BYTES + 1}};
    for (const Case& c : refused) {
        ResetLog();
        EXPECT_EQ(AppendExportedCert(ExportBuffer(unrelated), c.length), -1) << c.length;
        EXPECT_EQ(LogMessages().size(), 1u) << c.length;
    }
    EXPECT_EQ(GetExportedCertCount(), EXPORTED_LIST_CAPACITY);
    for (int i = 0; i < EXPORTED_LIST_CAPACITY; ++i) {
        int length = 0;
        const unsigned char* der = GetExportedCert(i, &length);
        ASSERT_TRUE(der != NULL);
        EXPECT_EQ(std::string((const char*)der, length), certs[i]) << i;
    }

    EmptyExportedCertList();
    EXPECT_EQ(GetExportedCertCount(), 0);
    int length = -1;
    EXPECT_EQ(GetExportedCert(0, &length), (const unsigned char*)NULL);
    EXPECT_EQ(length, 0);
    std::vector<StoreCert> left = ReadMyStore();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].der, unrelated);

    // An empty list empties to nothing; the list takes buffers again after emptying.
    EmptyExportedCertList();
    EXPECT_EQ(AppendExportedCert(ExportBuffer(unrelated), (int)unrelated.size()), 0);
    EXPECT_EQ(GetExportedCertCount(), 1);
}

TEST_F(CertTableTest, DeleteMyFileDeletesOnlyTheFixedCacheFiles)
{
    const std::string docs = DocumentsDir() + "\\QVKEYCERTINFORINKEYNO";
    std::vector<std::string> ours, others;
    for (int n = 0; n <= 4; ++n)
        for (const char* name : {"SIGNCERT.data", "EXCHCERT.data", "CSDPDATA.data"})
            ours.push_back(docs + std::to_string(n) + "_" + name);
    ours.push_back(docs + "67_FLAG.data");
    others = {docs + "5_SIGNCERT.data", docs + "67_SIGNCERT.data", docs + "0_FLAG.data", docs + "1_OTHER.data",
              docs + "01_SIGNCERT.data"};

    const std::vector<std::string> lines = {"DeleteMyFile begin", "DeleteMyFile end"};
    for (bool present : {false, true}) {
        SCOPED_TRACE(present ? "files present" : "no files");
        for (const std::string& f : ours)
            present ? (void)WriteFileBytes(f, "x") : RemoveFile(f);
        for (const std::string& f : others)
            WriteFileBytes(f, "keep");
        ResetLog();
        DeleteMyFile();
        for (const std::string& f : ours)
            EXPECT_FALSE(FileExists(f)) << f;
        for (const std::string& f : others) {
            EXPECT_EQ(ReadFileBytes(f), "keep") << f;
            RemoveFile(f);
        }
        EXPECT_EQ(LogMessages(), lines);
    }
}

}  // namespace
