// Stays idle until Wine's server is stopped, so that Wine's own service
// processes are kept up between the test programs.
#include <windows.h>

int main() {
    Sleep(INFINITE);
    return 0;
}
