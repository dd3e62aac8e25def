// What the agent put into "MY", kept for the next clean-up: the registered-certificate
// table (private library) and the exported-certificate list (standard library).
#pragma once

enum {
    CERT_TABLE_SLOTS = 30,         // token indexes 0 to 29
    CERT_TABLE_CONTAINERS = 4,     // container numbers 1 to 4
    CERT_RECORD_BYTES = 4096,
    EXPORTED_LIST_CAPACITY = 101,
    EXPORT_BUFFER_BYTES = 8192
};

enum CertKind { CERT_KIND_SIGN = 0, CERT_KIND_EXCHANGE = 1 };

struct CertRecord {
    unsigned char encoding[CERT_RECORD_BYTES];
    int length;  // 0 = nothing recorded
};

struct CertContainerEntry {
    CertRecord sign;
    CertRecord exchange;
};

struct CertTokenSlot {
    CertContainerEntry containers[CERT_TABLE_CONTAINERS];
};

// Every byte and length of the table to 0 (once, at start-up).
void ClearCertTable();
// Copies the encoding into the record of (token index, container 1-4, kind).
// 0, or -1 (logged, record untouched) for an index out of range or a length outside 1..4096.
int RecordCert(int tokenIndex, int containerNumber, CertKind kind, const unsigned char* der, int length);
// The record, or NULL for an index out of range.
const CertRecord* GetCertRecord(int tokenIndex, int containerNumber, CertKind kind);
// Passes the records of containers 1..lastContainer of one slot, exchange before
// signature, with a length above 0 to DeleteCertFromTheSystem. The table is unchanged.
void DeleteRecordedCerts(int tokenIndex, int lastContainer);

// Hands a malloc'ed EXPORT_BUFFER_BYTES buffer holding `length` DER bytes to the list,
// which owns it from then on. 0, or -1 when the list is full or the length is outside
// 1..EXPORT_BUFFER_BYTES: the buffer is then freed and that logged.
int AppendExportedCert(unsigned char* buffer, int length);
// Deletes each listed certificate from "MY", frees its buffer; the count ends at 0.
void EmptyExportedCertList();
int GetExportedCertCount();
// Listed encoding at `position` (0-based) and its length, or NULL.
const unsigned char* GetExportedCert(int position, int* length);

// Deletes the per-token cache files in the Documents folder.
void DeleteMyFile();
