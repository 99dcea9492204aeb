#pragma once

#include "pdf/PdfCodes.h"

// The codes of the request's loads (its error) and of the results of sign and
// verify. A result's error is one of these, the code of a caught
// PDF::Exception or Crypto::Exception (PDF::Code, Crypto::Code), or the
// certificate's own code. Pages read the values: they never change. Some
// failures share a value (0, -2, -8); each has a name of its own.

namespace ResultCode {

// The operation succeeded.
constexpr int kSuccess = 1;
// A result could not be completed: the certificate or signature-list object
// of the plug-in could not be created.
constexpr int kNoObject = 0;

// Load codes of the request (its error).
// The document was loaded, or nothing was asked yet.
constexpr int kNoError = 0;
// The location was empty.
constexpr int kEmptyFile = -1;
// The location is over-long, or begins with "PDF:".
constexpr int kRefusedFile = -2;
// The local working copy could not be created (or written whole).
constexpr int kNoWorkingCopy = -5;
// The download failed or delivered no bytes.
constexpr int kDownloadFailed = -6;
// Reported instead of a PDF::Exception code 0 (a failed PDF-library call),
// which would read as "no error".
constexpr int kOpenFailed = PDF::Code::kOpenFailed;

// Codes of the results of sign and verify.
// The request has no document.
constexpr int kNoDocument = -2;
// The working file of the signed copy could not be created.
constexpr int kNoWorkingFile = -2;
// The request has no certificate.
constexpr int kNoCertificate = -3;
// Signing could not be set up: no CMS object, a size estimate of 0, or its
// encoder could not be initialised.
constexpr int kSetupFailed = -8;
// The result's signed copy cannot be read or saved.
constexpr int kFileFailed = -8;
// The time, chain or revocation test of the certificate failed while its
// own code named no failure.
constexpr int kTimeFailed = -30;
constexpr int kChainFailed = -31;
constexpr int kRevocationFailed = -32;
// The document has no signature that could be reported.
constexpr int kNoSignatureFound = -63;
// An update to an encrypted document would be written unencrypted and make
// the copy unreadable.
constexpr int kEncryptedDocument = -65;

// Refusals for a web page (a page of an http or https origin, or of none).
// Its request named a document other than an http(s) URL of its own origin.
constexpr int kRefusedForOrigin = -77;
// It asked to save the signed copy to a file (it reads it instead).
constexpr int kSaveRefusedForOrigin = -78;
// The user did not allow it to sign, or there was no window to ask in.
constexpr int kSignDenied = -79;

// A code and the one text the operation logs with it.
struct Text {
    int code;
    const char* text;
};

// The codes logged with one fixed text.
inline constexpr Text kTexts[] = {
    {kNoCertificate, "Certificate was empty!!!"},
    {kTimeFailed, "Time validity"},
    {kChainFailed, "Chain validity"},
    {kRevocationFailed, "CRL validity"},
    {kEncryptedDocument, "Encrypted documents cannot be signed"},
};

// The fixed text of a failure that shares its code with others.
inline constexpr char kNoDocumentText[] = "File is empty!!!";

// The fixed text of `code`; empty when it has none.
constexpr const char* TextOf(int code) {
    for (const Text& entry : kTexts) {
        if (entry.code == code) return entry.text;
    }
    return "";
}

}  // namespace ResultCode
