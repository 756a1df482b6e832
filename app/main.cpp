#include "app/startup.h"

int main(int argc, char** argv) { return wendul::RunWendul(argc, argv); }
