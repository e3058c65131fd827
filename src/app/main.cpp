#include <cstdio>
int main() { std::puts("tavrel: not built yet"); return 2; }
