#pragma once

#include <array>
#include <functional>
#include <string>

class VisualRepBase;

namespace TestSupport {

// How SignDocument signs.
struct SignOptions {
    std::string fieldName = "Signature 1";
    // Sign the document's empty signature field of that name where it is
    // (std::runtime_error when there is none) instead of adding a field.
    bool intoField = false;
    // Subject of an identity in the shared test PKI's keychain.
    std::string signerSubject = "Pendrel Test Signer";
    std::wstring reason;
    std::wstring location;
    std::wstring contact;
    // Bytes reserved for the CMS message; 0: the CMS estimate plus 512.
    unsigned long reserve = 0;

    // A visible signature: the rectangle in tenths of a millimetre (see
    // PDF::Surface), its page and background, and what is drawn into it.
    bool visible = false;
    int page = 1;
    int x = 0;
    int y = 0;
    int width = 600;
    int height = 200;
    unsigned char r = 255;
    unsigned char g = 255;
    unsigned char b = 255;
    std::function<void(VisualRepBase&)> draw;
};

// What the writer reported about the signed copy.
struct SignedInfo {
    int signatureOid = 0;
    int widgetOid = 0;
    int appearanceOid = 0;
    std::array<int, 4> range{};
    int fileLength = 0;
};

// Signs `input` into `output` (a new file) by driving the document writer in
// the order the sign operation uses: copy, signature dictionary, appearance,
// widget, page, form, cross-reference section, trailer, byte range, CMS.
// Raises what the writer raises (PDF::Exception, Crypto::Exception) and
// std::runtime_error when the signer cannot be found.
SignedInfo SignDocument(const std::string& input, const std::string& output, const SignOptions& options = {});

}  // namespace TestSupport
