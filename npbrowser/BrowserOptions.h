#pragma once

// How the browser side answers the plug-in's questions about the event and
// drawing models it supports.
struct BrowserOptions {
    // How NPN_GetValue answers a "supports ..." question.
    enum class Answer { Yes, No, Error };

    Answer cocoa = Answer::Yes;
    Answer coreGraphics = Answer::Yes;
};
