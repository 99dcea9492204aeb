#pragma once

// The MIME description the browser reads to learn what the plug-in handles;
// NP_GetMIMEDescription answers it.
const char* NPP_GetMIMEDescription();
