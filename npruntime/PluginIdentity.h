#pragma once

// The texts by which the browser and the log know the plug-in.
namespace PluginIdentity {

constexpr const char kMimeDescription[] = "application/pendrelpdf:pdf:Brannik Pendrel\xC2\xAE PDF plugin";
constexpr const char kMimeType[] = "application/pendrelpdf";
constexpr const char kName[] = "Brannik Pendrel\xC2\xAE PDF plugin";
constexpr const char kDescription[] = "PDF Digital Signatures plugin";
constexpr const char kProductName[] = "Pendrel PDF";
constexpr const char kVersion[] = "1.2.27";

}  // namespace PluginIdentity
