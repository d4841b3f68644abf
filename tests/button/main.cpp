#include "QtTestSupport.h"

int main(int argc, char** argv) { return kestrune::test::RunQtTests(argc, argv); }
