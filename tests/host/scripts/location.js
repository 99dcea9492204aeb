// The page's address as the plug-in reads it from the window object, and as
// the script sees it.
print("plug-in: " + plugin.locationHref());
print("script: " + location.href);
