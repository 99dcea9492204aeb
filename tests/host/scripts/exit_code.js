print("before");
exit(7);
print("after");
