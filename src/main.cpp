#include "app/marrowdex_app.h"

int main(int argc, char** argv) {
    mwdx::CMarrowdexApp app(argc, argv);
    return app.InitInstance();
}
