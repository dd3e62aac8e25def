// How the store operations' cost grows with the size of "MY": the store is filled with
// N unrelated certificates (bound to another provider, or to ours with another type, or
// unbound) and one token's worth of eight certificates bound to ours.
// Prints one row per size; times are milliseconds of wall clock, the median of a few runs.
// "open" is opening and closing the store alone, "walk" reading every certificate and binding.
// It empties "MY" and c:\qvlog before and after.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include <wincrypt.h>

#include "agent/certreg/certstore.h"
#include "tests/support/certfixtures.h"
#include "tests/support/testsupport.h"

using namespace qmtest;

namespace {

const int kRuns = 3;

double NowMs()
{
    static LARGE_INTEGER frequency;
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000.0 / frequency.QuadPart;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::vector<std::string> TokenCerts()
{
    std::vector<std::string> certs;
    for (int c = 1; c <= 4; ++c)
        for (const char* kind : {"sign", "exch"})
            certs.push_back(LoadFixtureCert(("tokA_c" + std::to_string(c) + "_" + kind + ".der").c_str()));
    return certs;
}

void AddToken(const std::vector<std::string>& token)
{
    for (size_t i = 0; i < token.size(); ++i) {
        std::string container = "c" + std::to_string(i / 2 + 1);
        AddCertToTheSystem(container.data(), (int)container.size(), (const unsigned char*)token[i].data(),
                           (int)token[i].size(), i % 2 == 0 ? 2 : 1);
    }
}

bool FillUnrelated(int n)
{
    std::vector<std::string> certs = CertVariants(LoadFixtureCert("cn_ABC.der"), n);
    KeyBinding other;
    other.container = L"theirs";
    other.provider = L"Microsoft Enhanced Cryptographic Provider v1.0";
    KeyBinding otherType;
    otherType.provider = L"Qvware Csp V1.0";
    otherType.type = 24;
    int third = n / 3;
    return AddToMyStore(std::vector<std::string>(certs.begin(), certs.begin() + third), NULL) &&
           AddToMyStore(std::vector<std::string>(certs.begin() + third, certs.begin() + 2 * third), &otherType) &&
           AddToMyStore(std::vector<std::string>(certs.begin() + 2 * third, certs.end()), &other);
}

void Row(int n)
{
    std::vector<std::string> token = TokenCerts();
    ClearMyStore();
    double start = NowMs();
    if (!FillUnrelated(n)) {
        printf("%6d  could not fill the store\n", n);
        return;
    }
    double fill = NowMs() - start;

    std::vector<double> open, walk, add, unloadLog, unloadNoLog, deleteHit, deleteMiss;
    std::string miss = LoadFixtureCert("tokB_c1_sign.der");
    for (int run = 0; run < kRuns; ++run) {
        start = NowMs();
        HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
        if (store != NULL)
            CertCloseStore(store, 0);
        open.push_back(NowMs() - start);

        start = NowMs();
        int count = (int)ReadMyStore().size();
        walk.push_back(NowMs() - start);
        if (count != n) {
            printf("%6d  store holds %d\n", n, count);
            return;
        }

        start = NowMs();
        AddToken(token);
        add.push_back((NowMs() - start) / token.size());

        ResetLog();  // the log present: one entry per bound certificate
        start = NowMs();
        ConUnloadIECert();
        unloadLog.push_back(NowMs() - start);

        AddToken(token);
        RemoveLogDir();
        start = NowMs();
        ConUnloadIECert();
        unloadNoLog.push_back(NowMs() - start);

        AddToken(token);
        start = NowMs();
        for (const std::string& der : token)
            DeleteCertFromTheSystem((const unsigned char*)der.data(), (int)der.size());
        deleteHit.push_back((NowMs() - start) / token.size());

        start = NowMs();
        DeleteCertFromTheSystem((const unsigned char*)miss.data(), (int)miss.size());
        deleteMiss.push_back(NowMs() - start);
    }
    printf("%6d %9.0f %8.1f %8.1f %9.1f %10.1f %10.1f %10.1f %10.1f\n", n, fill, Median(open), Median(walk), Median(add),
           Median(unloadLog), Median(unloadNoLog), Median(deleteHit), Median(deleteMiss));
    fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes = {100, 1000, 5000};
    if (argc > 1) {
        sizes.clear();
        for (int i = 1; i < argc; ++i)
            sizes.push_back(atoi(argv[i]));
    }
    if (LoadFixtureCert("cn_ABC.der").empty()) {
        fprintf(stderr, "bin\\certs missing\n");
        return 1;
    }
    printf("certificate store, ms (median of %d runs); add and delete-hit per certificate\n", kRuns);
    printf("%6s %9s %8s %8s %9s %10s %10s %10s %10s\n", "certs", "fill", "open", "walk", "add", "unload", "unload",
           "delete", "delete");
    printf("%6s %9s %8s %8s %9s %10s %10s %10s %10s\n", "", "", "", "", "", "(log)", "(no log)", "(hit)", "(miss)");
    for (int n : sizes)
        Row(n);
    ClearMyStore();
    RemoveLogDir();
    return 0;
}
