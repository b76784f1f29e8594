// The dialogue's reads and writes alone, as a yardstick for the benchmark:
// texts of the same lengths through std::cout, a number and a character
// through std::cin, two getchar() calls, and no palindrome.
#include <cstdio>
#include <iostream>

int main() {
    int length = 0;
    char answer = 0;

    std::cout << "Ein Programm zur Entwicklung vom Palindromen\n\n"
              << "\nAus wie viel Zahlen soll das Palindrom bestehen?\n"
              << std::flush;
    std::cin >> length;
    std::cout << "\nDas ist dein Palindrom:\t"
              << "\n\nMoechtest du eine weitere Aufgabe versuchen?\t (J)a "
                 "oder (N)ein?"
              << std::flush;
    std::cin >> answer;
    std::cout << "\n\nDann bis zum naechsten Mal!" << std::flush;
    std::getchar();
    std::getchar();
    return 0;
}
