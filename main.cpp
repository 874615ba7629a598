#include "display/display.h"

int main(int argc, char** argv)
{
    return ferrik::run_display(argc, argv);
}
