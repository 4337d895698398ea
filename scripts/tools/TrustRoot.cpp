// vx_trust_root CERT.cer: makes a DER certificate a trusted root of this
// Wine prefix (the machine's Root store). Run on its own before the
// programs that connect: a process keeps the stores it has opened as they
// were. Earlier runs' CAs stay (their keys went with their run's folder):
// deleting them first made Wine 8 drop the new one as well, so each run's
// CA has a name of its own instead (scripts/apache.sh).
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        fwprintf(stderr, L"usage: vx_trust_root CERT.cer\n");
        return 2;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        fwprintf(stderr, L"cannot open %ls (%lu)\n", argv[1], GetLastError());
        return 1;
    }
    std::vector<BYTE> der(GetFileSize(file, nullptr));
    DWORD got = 0;
    const BOOL read = ReadFile(file, der.data(), static_cast<DWORD>(der.size()), &got, nullptr);
    CloseHandle(file);
    PCCERT_CONTEXT cert = read && got == der.size()
                              ? CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), got)
                              : nullptr;
    if (!cert) {
        fwprintf(stderr, L"%ls is no DER certificate\n", argv[1]);
        return 1;
    }
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!root) {
        fwprintf(stderr, L"cannot open the Root store (%lu)\n", GetLastError());
        CertFreeCertificateContext(cert);
        return 1;
    }
    const BOOL added = CertAddCertificateContextToStore(root, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    if (!added) fwprintf(stderr, L"cannot add the certificate (%lu)\n", GetLastError());
    CertFreeCertificateContext(cert);
    CertCloseStore(root, 0);
    return added ? 0 : 1;
}
