#include <cstdio>
int main() { std::puts("ovista"); return 0; }
