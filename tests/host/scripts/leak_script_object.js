// The plug-in keeps a script object and never lets go.
plugin.keepForever({});
print("kept");
