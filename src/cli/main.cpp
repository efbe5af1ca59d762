#include <cstdio>

int main(int argc, char** argv) { return 0; }
