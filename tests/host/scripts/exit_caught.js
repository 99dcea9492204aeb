// exit ends the script even when the script catches what it throws.
try {
    exit(5);
} catch (e) {
}
print("after");
plugin.echo(1);
