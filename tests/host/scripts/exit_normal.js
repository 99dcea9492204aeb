// A script that ends by itself.
print("done");
