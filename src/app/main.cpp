#include "app/CQuorvantelApp.h"

int main(int argc, char** argv) {
    CQuorvantelApp app(argc, argv);
    return app.Run();
}
