plugin.echo(1);
throw new Error("boom ü 😀");
