print(JSON.stringify(args));
