// The plug-in keeps one reference too many.
var leaked = plugin.leakChild();
print(plugin.classOf(leaked));
