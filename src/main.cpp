#include "app/marrowdex_app.h"
#include "commands/command_list.h"

int main(int argc, char** argv) {
    mwdx::CMarrowdexApp app(argc, argv);
    return app.InitInstance(mwdx::MakeCommands);
}
