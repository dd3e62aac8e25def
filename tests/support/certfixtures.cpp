#include "tests/support/certfixtures.h"

#include "tests/support/testsupport.h"

namespace qmtest {

std::string LoadFixtureCert(const char* name)
{
    return ReadFileBytes(ProgramDir() + "certs\\" + name);
}

namespace {

struct Tlv {
    size_t start;   // tag byte
    size_t body;    // first content byte
    size_t end;     // one past the last content byte
};

// One DER element at POS within [POS, LIMIT); false when it does not fit.
bool ReadTlv(const std::string& der, size_t pos, size_t limit, Tlv* out)
{
    if (pos + 2 > limit)
        return false;
    size_t p = pos + 1;
    size_t len = (unsigned char)der[p++];
    if (len & 0x80) {
        size_t n = len & 0x7F;
        if (n == 0 || n > 3 || p + n > limit)
            return false;
        len = 0;
        while (n--)
            len = (len << 8) | (unsigned char)der[p++];
    }
    if (len > limit - p)
        return false;
    out->start = pos;
    out->body = p;
    out->end = p + len;
    return true;
}

std::string Element(unsigned char tag, const std::string& body)
{
    std::string s(1, (char)tag);
    size_t n = body.size();
    if (n < 0x80) {
        s += (char)n;
    } else if (n < 0x100) {
        s += (char)0x81;
        s += (char)n;
    } else if (n < 0x10000) {
        s += (char)0x82;
        s += (char)(n >> 8);
        s += (char)n;
    } else {
        s += (char)0x83;
        s += (char)(n >> 16);
        s += (char)(n >> 8);
        s += (char)n;
    }
    return s + body;
}

}  // namespace

std::string CertVariant(const std::string& cert, unsigned index)
{
    Tlv outer, tbs, first, serial;
    if (!ReadTlv(cert, 0, cert.size(), &outer) || (unsigned char)cert[0] != 0x30)
        return std::string();
    if (!ReadTlv(cert, outer.body, outer.end, &tbs) || (unsigned char)cert[tbs.start] != 0x30)
        return std::string();
    if (!ReadTlv(cert, tbs.body, tbs.end, &first))
        return std::string();
    serial = first;
    if ((unsigned char)cert[first.start] == 0xA0 && !ReadTlv(cert, first.end, tbs.end, &serial))
        return std::string();
    if ((unsigned char)cert[serial.start] != 0x02)
        return std::string();

    // "QM", the original serial, then the index: never equal to any fixture's own serial.
    std::string number = "QM" + cert.substr(serial.body, serial.end - serial.body);
    for (int shift = 24; shift >= 0; shift -= 8)
        number += (char)(index >> shift);

    std::string tbsBody = cert.substr(tbs.body, serial.start - tbs.body) + Element(0x02, number) +
                          cert.substr(serial.end, tbs.end - serial.end);
    std::string outerBody = Element(0x30, tbsBody) + cert.substr(tbs.end, outer.end - tbs.end);
    return Element(0x30, outerBody);
}

std::vector<std::string> CertVariants(const std::string& cert, unsigned count, unsigned first)
{
    std::vector<std::string> certs;
    certs.reserve(count);
    for (unsigned i = 0; i < count; ++i)
        certs.push_back(CertVariant(cert, first + i));
    return certs;
}

}  // namespace qmtest
