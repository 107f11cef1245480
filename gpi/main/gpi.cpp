// gpi: the GPI monitor program. The card monitoring is not built yet; the program only
// starts and ends, so the deliverable links from the start.
int main() { return 0; }
