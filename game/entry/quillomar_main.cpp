// The program's entry: the game shell does the rest.
#include "game/game_main.h"

int main() { return GameMain(); }
