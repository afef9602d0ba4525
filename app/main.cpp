#include "app/fmMain.h"
#include "ui/Application.h"

int main(int argc, char** argv) {
    ui::SkimletApplication application(argc, argv);
    Tfmain fmain;
    fmain.show();
    return application.exec();
}
