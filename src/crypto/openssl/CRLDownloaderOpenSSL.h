#pragma once

#include <string>
#include <vector>

#include "crypto/CRLDownloader.h"

namespace Crypto {

// Downloads the revocation list of one certificate (given by its DER bytes,
// a private copy that the worker owns) from the URIs of its CRL distribution
// points: non-LDAP URLs first, then LDAP.
class CRLDownloaderOpenSSL final : public CRLDownloader {
public:
    explicit CRLDownloaderOpenSSL(std::vector<unsigned char> certificateDer);
    CRLStatusItem Download() override;

    // Collects the distribution-point URIs in order and sorts them; false
    // with item.code -34 (no extension) or -35 (no URI) when there are none.
    static bool FindURIs(std::vector<std::string>& urls, const std::vector<unsigned char>& certificateDer,
                         CRLStatusItem& item);

    // Runs Download on a worker thread while the progress dialog shows. True
    // with the CRL's DER bytes in out. False when nothing arrived; error then
    // takes the download's code (-34, -35, or 1 when every URL failed). A
    // cancel returns at once without waiting for the worker, which owns
    // everything it still touches, ends at its next interruption check and
    // is kept by WorkerThreads until then. The progress window shows in
    // message language `language`.
    static bool DownloadCRL(const std::vector<unsigned char>& certificateDer, std::vector<unsigned char>& out,
                            int& error, int language = 0, const std::string& origin = std::string());

private:
    const std::vector<unsigned char> _der;
};

}  // namespace Crypto
