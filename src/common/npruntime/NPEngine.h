#pragma once

#include "npapi/npfunctions.h"

// The process-wide copy of the browser's function table. It is made once, by
// the first accepted NP_Initialize, and kept until the process ends; every
// call into the browser goes through it (see npn_gate.cpp).
class NPEngine {
public:
    // Creates the engine from the browser's table unless it exists already.
    // False when there is no engine afterwards (the table was rejected).
    static bool Init(const NPNetscapeFuncs* browserFuncs);
    // The engine, or null before an accepted Init.
    static NPEngine* Instance();
    // Drops the engine so that a test can initialise again.
    static void ResetForTests();

    // Entries the browser's table did not cover wholly are null.
    const NPNetscapeFuncs& Funcs() const { return _funcs; }

    static constexpr uint16_t kMinimumSize = 324;
    static constexpr uint16_t kMaximumSize = 440;

    NPEngine(const NPNetscapeFuncs& browserFuncs, uint16_t copied);
    NPEngine(const NPEngine&) = delete;
    NPEngine& operator=(const NPEngine&) = delete;

private:
    NPNetscapeFuncs _funcs{};
};
