#include "crypto/openssl/CRLDownloaderOpenSSL.h"

#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <boost/thread/thread.hpp>
#include <memory>

#include "common/Downloader.h"
#include "common/Logger.h"
#include "common/WorkerThreads.h"
#include "crypto/CRLProgressDialog.h"
#include "crypto/LDAPDownloader.h"

namespace Crypto {

namespace {

struct X509Free {
    void operator()(X509* x) const noexcept { X509_free(x); }
};
struct DistPointsFree {
    void operator()(CRL_DIST_POINTS* p) const noexcept { CRL_DIST_POINTS_free(p); }
};

void Log(const char* func, const char* format, const std::string& text) {
    Logger::Get()->SetFunc(func);
    Logger::Get()->Log(format, text.c_str());
}

}  // namespace

CRLDownloaderOpenSSL::CRLDownloaderOpenSSL(std::vector<unsigned char> certificateDer)
    : _der(std::move(certificateDer)) {}

bool CRLDownloaderOpenSSL::FindURIs(std::vector<std::string>& urls, const std::vector<unsigned char>& der,
                                    CRLStatusItem& item) {
    urls.clear();
    if (der.empty()) return false;
    const unsigned char* p = der.data();
    const std::unique_ptr<X509, X509Free> cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
    if (!cert) return false;
    if (X509_get_ext_by_NID(cert.get(), NID_crl_distribution_points, -1) < 0) {
        item.code = CRLStatusItem::kNoDistributionPoints;
        return false;
    }
    for (int index = -1;;) {
        index = X509_get_ext_by_NID(cert.get(), NID_crl_distribution_points, index);
        if (index < 0) break;
        const std::unique_ptr<CRL_DIST_POINTS, DistPointsFree> points(
            static_cast<CRL_DIST_POINTS*>(X509V3_EXT_d2i(X509_get_ext(cert.get(), index))));
        if (!points) break;  // a damaged extension ends the collection
        for (int i = 0; i < sk_DIST_POINT_num(points.get()); ++i) {
            const DIST_POINT* point = sk_DIST_POINT_value(points.get(), i);
            if (point->distpoint == nullptr || point->distpoint->type != 0) continue;  // no full name
            const GENERAL_NAMES* names = point->distpoint->name.fullname;
            for (int n = 0; n < sk_GENERAL_NAME_num(names); ++n) {
                const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, n);
                if (name->type != GEN_URI) continue;
                const ASN1_IA5STRING* uri = name->d.uniformResourceIdentifier;
                urls.emplace_back(reinterpret_cast<const char*>(ASN1_STRING_get0_data(uri)),
                                  static_cast<size_t>(ASN1_STRING_length(uri)));
                Log("FindURIs", "Found new DP %s", urls.back());
            }
        }
    }
    if (urls.empty()) {
        item.code = CRLStatusItem::kNoURI;
        return false;
    }
    SortURLVector(urls);
    return true;
}

CRLStatusItem CRLDownloaderOpenSSL::Download() {
    CRLStatusItem item;
    std::vector<std::string> urls;
    if (!FindURIs(urls, _der, item)) return item;
    item.data.emplace();
    for (const std::string& url : urls) {
        boost::this_thread::interruption_point();
        if (IsLDAPURL(url)) {
            item.ok = LDAPDownloader::Download(url, *item.data);
            boost::this_thread::interruption_point();
            if (item.ok) item.message = url;
        } else {
            Log("Download", "Downloading nonLDAP CRL from %s", url);
            Downloader downloader;
            downloader.SetLimit(kMaxCRLSize);
            item.ok = downloader.DownloadFile(url);
            boost::this_thread::interruption_point();
            // An error page (status 400 or more) is no revocation list: try
            // the next distribution point instead of handing the page on.
            if (item.ok && downloader.ResponseCode() >= 400) {
                Logger::Get()->SetFunc("Download");
                Logger::Get()->Log("HTTP status %ld from %s", downloader.ResponseCode(), url.c_str());
                item.ok = false;
            }
            if (item.ok) {
                item.data->resize(downloader.TotalSize());
                item.data->resize(downloader.CopyToBuffer(item.data->data(), true));
            }
        }
        if (item.ok) {
            Log("Download", "Sucessfully downloaded a CRL from %s", url);
            Logger::Get()->SetFunc("Download");
            Logger::Get()->Log("Verifying downloaded CRL...\n");
            Logger::Get()->SetFunc("Download");
            Logger::Get()->Log("Downloaded CRL ok\n");
            break;
        }
    }
    return item;
}

bool CRLDownloaderOpenSSL::DownloadCRL(const std::vector<unsigned char>& certificateDer,
                                       std::vector<unsigned char>& out, int& error, int language,
                                       const std::string& origin) {
    // The task owns the downloader (and through it the certificate copy), so
    // a worker left running after a cancel touches nothing of ours.
    auto downloader = std::make_shared<CRLDownloaderOpenSSL>(certificateDer);
    auto task = std::make_shared<CRLTask>([downloader] { return downloader->Download(); });
    CRLFuture future = task->get_future();
    const std::unique_ptr<CRLProgressDialog> dialog = CRLProgressDialog::Create(future, language, origin);
    boost::thread worker([task] { (*task)(); });

    const bool delivered = dialog->ShowDialog();
    if (!delivered) {
        // Not waited for here; kept (interrupted) until it ends, so that the
        // library is not unloaded under it.
        WorkerThreads::Instance().Abandon(std::move(worker));
        if (future.is_ready() && future.has_value()) error = future.get().code;
        return false;
    }
    worker.join();  // the task is done: the thread only has to return
    CRLStatusItem item = future.get();
    if (item.ok && item.data) {
        out = std::move(*item.data);
        return true;
    }
    if (!item.ok) error = item.code;
    return false;
}

}  // namespace Crypto
