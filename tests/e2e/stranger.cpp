// Stands in for a stranger's program under a well-known name (the end-to-end test's regedit.exe): it shows nothing.
int main() { return 0; }
