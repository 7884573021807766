// Desktop application entry point.
#include "app/app_run.h"

int main(int argc, char* argv[])
{
    return vexa::app::RunApplication(argc, argv);
}
