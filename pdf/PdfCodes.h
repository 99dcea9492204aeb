#pragma once

// The codes the document layer raises with PDF::Exception. They reach the
// page as the request's or the result's error, so their values never change.
// Several failures share a value (-52, -53, -57, -64): each has a name of its
// own here, the value stays the one pages and stored logs know.

namespace PDF::Code {

// A failed PDF-library call; the text names the call.
constexpr int kLibraryCall = 0;
// The document cannot be opened or its cross-reference data read.
constexpr int kOpenFailed = -7;
// The document has no trailer dictionary.
constexpr int kTrailerEmpty = -50;
// The object has no environment.
constexpr int kNoEnvironment = -51;

// -52: something the update writer needs is not there.
// No output stream to write the update to.
constexpr int kNoOutput = -52;
// The environment has no document, or another one than the object's.
constexpr int kNoDocument = -52;
// No cross-reference collector for the update's objects.
constexpr int kNoXRefs = -52;
// A field to append is missing.
constexpr int kNoField = -52;
// The object to write is not an indirect reference.
constexpr int kNotIndirect = -52;
// The document's page list was not loaded.
constexpr int kPagesNotLoaded = -52;
// The page asked for (a visible signature's) is not in the document, or the
// field has none.
constexpr int kPageOutOfRange = -52;
// The page or the widget is not a dictionary, or the page has no /MediaBox array.
constexpr int kBadPageObject = -52;
// A visible signature has no surface to draw.
constexpr int kNoSurface = -52;
// The reserve asked for the signature's /Contents is out of bounds.
constexpr int kBadReserve = -52;
// Written objects are not laid out as the writer expects.
constexpr int kBadLayout = -52;
// One update would write the same object twice (the page tree names the form
// as a page): the reader would keep only the first write.
constexpr int kObjectWrittenTwice = -52;
// The update would rewrite a signature dictionary of the document (one the
// page tree names as a page, say), which would break that signature.
constexpr int kSignatureRewritten = -52;
// The library rebuilt the cross-reference data while signing, so the copy
// would not match the document that was opened.
constexpr int kRepairedWhileSigning = -52;
// The library rebuilt the cross-reference data while the fields were read:
// what it read after that may not be the document that was opened.
constexpr int kRepairedWhileReading = -52;

// -53: a value of the document is of the wrong kind.
// The cross-reference chain, a trailer or the end-of-file marker.
constexpr int kBadXRef = -53;
// /Fields of the form.
constexpr int kBadFields = -53;
// /Annots of a page.
constexpr int kBadAnnots = -53;
// The form (/AcroForm) itself.
constexpr int kBadForm = -53;

// A signature field of the form cannot be loaded.
constexpr int kFieldLoadFailed = -54;
// The signature dictionary has no /Contents.
constexpr int kEmptySignature = -55;
// /Contents is not a hexadecimal string.
constexpr int kContentsInvalid = -56;

// -57: the signature cannot be produced into the hole.
// Feeding the signed bytes to the CMS object failed.
constexpr int kFeedFailed = -57;
// The CMS object did not sign, or the signature does not fit the hole.
constexpr int kSignFailed = -57;
// The byte range does not fit its placeholder.
constexpr int kRangeTooLong = -57;

// The header names a version other than 1.3 or 1.4.
constexpr int kBadVersion = -58;
// Documents of 2 GiB or more are refused.
constexpr int kTooLarge = -59;
// Compressing a stream failed.
constexpr int kEncodingFailed = -61;
// A visible signature's image has no pixels.
constexpr int kNoWatermark = -62;

// -64: the working file.
// Writing it failed (or a position beyond 32-bit offsets).
constexpr int kWriteFailed = -64;
// The document changed on disk since it was opened.
constexpr int kSourceChanged = -64;
// Copying the document into it failed.
constexpr int kCopyFailed = -64;

// The signature field named to sign into is signed already.
constexpr int kAlreadySigned = -66;
// The name is that of a field of another type, or of one that only groups others.
constexpr int kNotSignatureField = -67;

// A code and the one text it is always raised with.
struct Text {
    int code;
    const char* text;
};

// The codes raised with one fixed text. The others are raised with texts
// that name the failing function or object, or share their value.
inline constexpr Text kTexts[] = {
    {kOpenFailed, "Could not open file"},
    {kTrailerEmpty, "Trailer empty after load. "},
    {kFieldLoadFailed, "Failed to load signature field."},
    {kEmptySignature, "Empty Signature"},
    {kContentsInvalid, "Contents invalid data"},
    {kBadVersion, "Invalid PDF format version"},
    {kTooLarge, "File too large: documents of 2 GiB or more are not supported"},
    {kEncodingFailed, "Encoding failed"},
    {kNoWatermark, "Could not retrieve watermark image"},
    {kAlreadySigned, "The field is signed already"},
    {kNotSignatureField, "The field is not a signature field"},
};

// The fixed texts of failures that share their code with others.
inline constexpr char kFeedFailedText[] = "Error on feed content!";
inline constexpr char kSignFailedText[] = "Error while signing CM signature";
inline constexpr char kWriteFailedText[] = "Could not write the working file";

// The fixed text of `code`; empty when it has none.
constexpr const char* TextOf(int code) {
    for (const Text& entry : kTexts) {
        if (entry.code == code) return entry.text;
    }
    return "";
}

}  // namespace PDF::Code
