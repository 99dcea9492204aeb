// exit from script called by the plug-in ends the whole script.
plugin.callFunction(function () { exit(3); });
print("after");
