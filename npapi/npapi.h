#pragma once

// The browser/plug-in boundary: instances, windows, streams, the variables
// each side can ask the other about and the error codes. Only what Pendrel PDF
// and its stand-in browser use is declared here; names, field order and
// numbers are those every NPAPI browser and plug-in agree on.

#include "npapi/nptypes.h"

#define NP_VERSION_MAJOR 0
#define NP_VERSION_MINOR 25

#define NP_VISIBILITY_DEFAULT __attribute__((visibility("default")))
#ifdef __cplusplus
#define NP_EXPORT(type) extern "C" NP_VISIBILITY_DEFAULT type
#else
#define NP_EXPORT(type) NP_VISIBILITY_DEFAULT type
#endif
#define NP_LOADDS

typedef unsigned char NPBool;
typedef int16_t NPError;
typedef int16_t NPReason;
typedef char* NPMIMEType;

// One plug-in instance (one embedding in a page). pdata belongs to the
// plug-in, ndata to the browser.
typedef struct _NPP {
    void* pdata;
    void* ndata;
} NPP_t;
typedef NPP_t* NPP;

typedef struct _NPStream {
    void* pdata;
    void* ndata;
    const char* url;
    uint32_t end;
    uint32_t lastmodified;
    void* notifyData;
    const char* headers;
} NPStream;

typedef struct _NPByteRange {
    int32_t offset;
    uint32_t length;
    struct _NPByteRange* next;
} NPByteRange;

typedef struct _NPSavedData {
    int32_t len;
    void* buf;
} NPSavedData;

typedef struct _NPRect {
    uint16_t top;
    uint16_t left;
    uint16_t bottom;
    uint16_t right;
} NPRect;

typedef void* NPRegion;

typedef enum { NPWindowTypeWindow = 1, NPWindowTypeDrawable } NPWindowType;

// The window the plug-in draws into. With the Core Graphics drawing model,
// window points to an NP_CGContext.
typedef struct _NPWindow {
    void* window;
    int32_t x;
    int32_t y;
    uint32_t width;
    uint32_t height;
    NPRect clipRect;
    NPWindowType type;
} NPWindow;

typedef struct NP_CGContext {
    void* context;  // the graphics context to draw into
    void* window;   // the native window that holds it
} NP_CGContext;

typedef struct _NPFullPrint {
    NPBool pluginPrinted;
    NPBool printOne;
    void* platformPrint;
} NPFullPrint;

typedef struct _NPEmbedPrint {
    NPWindow window;
    void* platformPrint;
} NPEmbedPrint;

typedef struct _NPPrint {
    uint16_t mode;
    union {
        NPFullPrint fullPrint;
        NPEmbedPrint embedPrint;
    } print;
} NPPrint;

typedef void* NPMenu;

typedef enum {
    NPCoordinateSpacePlugin = 1,
    NPCoordinateSpaceWindow,
    NPCoordinateSpaceFlippedWindow,
    NPCoordinateSpaceScreen,
    NPCoordinateSpaceFlippedScreen
} NPCoordinateSpace;

typedef enum { NPFocusNext = 0, NPFocusPrevious = 1 } NPFocusDirection;

// Embedding modes passed to NPP_New.
#define NP_EMBED 1
#define NP_FULL 2

// Stream types.
#define NP_NORMAL 1
#define NP_SEEK 2
#define NP_ASFILE 3
#define NP_ASFILEONLY 4

// Error codes.
#define NPERR_BASE 0
#define NPERR_NO_ERROR (NPERR_BASE + 0)
#define NPERR_GENERIC_ERROR (NPERR_BASE + 1)
#define NPERR_INVALID_INSTANCE_ERROR (NPERR_BASE + 2)
#define NPERR_INVALID_FUNCTABLE_ERROR (NPERR_BASE + 3)
#define NPERR_MODULE_LOAD_FAILED_ERROR (NPERR_BASE + 4)
#define NPERR_OUT_OF_MEMORY_ERROR (NPERR_BASE + 5)
#define NPERR_INVALID_PLUGIN_ERROR (NPERR_BASE + 6)
#define NPERR_INVALID_PLUGIN_DIR_ERROR (NPERR_BASE + 7)
#define NPERR_INCOMPATIBLE_VERSION_ERROR (NPERR_BASE + 8)
#define NPERR_INVALID_PARAM (NPERR_BASE + 9)
#define NPERR_INVALID_URL (NPERR_BASE + 10)
#define NPERR_FILE_NOT_FOUND (NPERR_BASE + 11)
#define NPERR_NO_DATA (NPERR_BASE + 12)
#define NPERR_STREAM_NOT_SEEKABLE (NPERR_BASE + 13)

// Reasons a stream or URL request ended.
#define NPRES_BASE 0
#define NPRES_DONE (NPRES_BASE + 0)
#define NPRES_NETWORK_ERR (NPRES_BASE + 1)
#define NPRES_USER_BREAK (NPRES_BASE + 2)

// Variables the browser asks the plug-in about (NPP_GetValue) or the plug-in
// sets in the browser (NPN_SetValue).
typedef enum {
    NPPVpluginNameString = 1,
    NPPVpluginDescriptionString = 2,
    NPPVpluginWindowBool = 3,
    NPPVpluginTransparentBool = 4,
    NPPVpluginScriptableNPObject = 15,
    NPPVpluginDrawingModel = 1000,
    NPPVpluginEventModel = 1001
} NPPVariable;

// Variables the plug-in asks the browser about (NPN_GetValue).
typedef enum {
    NPNVxDisplay = 1,
    NPNVxtAppContext = 2,
    NPNVnetscapeWindow = 3,
    NPNVjavascriptEnabledBool = 4,
    NPNVasdEnabledBool = 5,
    NPNVisOfflineBool = 6,
    NPNVWindowNPObject = 15,
    NPNVPluginElementNPObject = 16,
    NPNVSupportsWindowless = 17,
    NPNVprivateModeBool = 18,
    NPNVpluginDrawingModel = 1000,
    NPNVsupportsQuickDrawBool = 2000,
    NPNVsupportsCoreGraphicsBool = 2001,
    NPNVsupportsOpenGLBool = 2002,
    NPNVsupportsCoreAnimationBool = 2003,
    NPNVsupportsCarbonBool = 3000,
    NPNVsupportsCocoaBool = 3001
} NPNVariable;

typedef enum { NPNURLVCookie = 501, NPNURLVProxy = 502 } NPNURLVariable;

typedef enum {
    NPDrawingModelQuickDraw = 0,
    NPDrawingModelCoreGraphics = 1,
    NPDrawingModelOpenGL = 2,
    NPDrawingModelCoreAnimation = 3
} NPDrawingModel;

typedef enum { NPEventModelCarbon = 0, NPEventModelCocoa = 1 } NPEventModel;

#ifdef __cplusplus
extern "C" {
#endif

// Implemented by the plug-in, called by the browser through NPPluginFuncs.
NPError NPP_New(NPMIMEType pluginType, NPP instance, uint16_t mode, int16_t argc, char* argn[], char* argv[],
                NPSavedData* saved);
NPError NPP_Destroy(NPP instance, NPSavedData** save);
NPError NPP_SetWindow(NPP instance, NPWindow* window);
NPError NPP_NewStream(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable, uint16_t* stype);
NPError NPP_DestroyStream(NPP instance, NPStream* stream, NPReason reason);
int32_t NPP_WriteReady(NPP instance, NPStream* stream);
int32_t NPP_Write(NPP instance, NPStream* stream, int32_t offset, int32_t len, void* buffer);
void NPP_StreamAsFile(NPP instance, NPStream* stream, const char* fname);
void NPP_Print(NPP instance, NPPrint* platformPrint);
int16_t NPP_HandleEvent(NPP instance, void* event);
void NPP_URLNotify(NPP instance, const char* url, NPReason reason, void* notifyData);
NPError NPP_GetValue(NPP instance, NPPVariable variable, void* value);
NPError NPP_SetValue(NPP instance, NPNVariable variable, void* value);

// Browser services the plug-in calls (through its copy of NPNetscapeFuncs).
NPError NPN_GetValue(NPP instance, NPNVariable variable, void* value);
NPError NPN_SetValue(NPP instance, NPPVariable variable, void* value);
void* NPN_MemAlloc(uint32_t size);
void NPN_MemFree(void* ptr);

#ifdef __cplusplus
}
#endif
