/*
 * palindrome -- build random number palindromes
 *
 * A console exercise with German texts.  It asks for a length, shows a
 * palindrome of that many digits 0 to 8, and asks whether to try another
 * (J or j does).  The first half is drawn from rand(), re-seeded from
 * time() before every draw, and each digit is drawn again until it differs
 * from the one before it; so every digit after the first waits, busily and
 * silently, for a later second of the clock.  An odd length gets one more
 * rand() in the middle, not re-seeded, which may equal its neighbours.
 *
 * Where there was a choice:
 *  - A length that is no number (a letter, a lone sign, a sign and a
 *    blank, digits beyond the range of int) or that is above 43 (the table
 *    holds 21 half digits) is refused: the rest of its line is dropped and
 *    the length prompt written again.  Lengths below 2 give one digit for
 *    odd and none for even ones, as the halving makes them.
 *  - End of input at the length or at the answer counts as a "no".
 *  - Output that cannot be written, or input that cannot be read (other
 *    than its end), ends the program with status 1 and one line on
 *    standard error.  Once output is lost the program stops asking.
 *
 * The input is read through std::cin and getchar() alike, so cin must
 * stay synchronised with stdio: both then take from one buffer.  Standard
 * C++11 alone, so that old classroom compilers build it; the streams keep
 * the platform's text mode, so Windows reads and writes CR LF.
 */

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <limits>

namespace {

const char *const title = "Ein Programm zur Entwicklung vom Palindromen\n\n";
const char *const length_prompt =
    "\nAus wie viel Zahlen soll das Palindrom bestehen?\n";
const char *const result_label = "\nDas ist dein Palindrom:\t";
const char *const repeat_question =
    "\n\nMoechtest du eine weitere Aufgabe versuchen?\t (J)a oder (N)ein?";
const char *const farewell = "\n\nDann bis zum naechsten Mal!";

constexpr int half_capacity = 21;
constexpr int max_length = 2 * half_capacity + 1;
constexpr int digit_values = 9; // digits 0 to 8; 9 never occurs

// Slot i holds the i-th digit from either end; slot 0 is never used.
int half_table[half_capacity + 1];

// Writes text and flushes it, so that it is on the console before the next
// read waits.  False once output is lost: nobody is asked what they cannot
// see.
bool show(const char *text) {
    std::cout << text << std::flush;
    return static_cast<bool>(std::cout);
}

// Asks for a length until one is usable.  False at end of input.
bool read_length(int &palindrome_length) {
    for (;;) {
        if (!show(length_prompt)) {
            return false;
        }
        if (std::cin >> palindrome_length && palindrome_length <= max_length) {
            return true;
        }
        // Unusable: drop the rest of its line and ask again, if there is more.
        std::cin.clear();
        std::cin.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        if (std::cin.eof()) {
            return false;
        }
    }
}

// Odd lengths, negative ones too, keep a digit back for the middle.
int half_length(int palindrome_length) {
    if (palindrome_length % 2 != 0) {
        return (palindrome_length - 1) / 2;
    }
    return palindrome_length / 2;
}

int draw_digit() {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    return std::rand() % digit_values;
}

void build_half(int palindrome_length) {
    // Decides the middle digit when the half is empty.
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    const int last = half_length(palindrome_length);
    for (int i = 1; i <= last; ++i) {
        half_table[i] = draw_digit();
        while (i >= 2 && half_table[i] == half_table[i - 1]) {
            half_table[i] = draw_digit();
        }
    }
}

void print_palindrome(int palindrome_length) {
    const int last = half_length(palindrome_length);
    for (int i = 1; i <= last; ++i) {
        std::cout << half_table[i];
    }
    if (palindrome_length % 2 != 0) {
        std::cout << std::rand() % digit_values;
    }
    for (int i = last; i >= 1; --i) {
        std::cout << half_table[i];
    }
}

// End of input reads as a "no".
bool wants_another() {
    char answer = 0;
    if (!show(repeat_question) || !(std::cin >> answer)) {
        return false;
    }
    return std::toupper(static_cast<unsigned char>(answer)) == 'J';
}

int exit_status() {
    if (!std::cout.flush()) {
        std::cerr << "palindrome: cannot write standard output\n";
        return 1;
    }
    if (std::ferror(stdin) != 0) {
        std::cerr << "palindrome: cannot read standard input\n";
        return 1;
    }
    return 0;
}

} // namespace

int main() {
    int palindrome_length = 0;

    std::cout << title;
    while (read_length(palindrome_length)) {
        build_half(palindrome_length);
        std::cout << result_label;
        print_palindrome(palindrome_length);
        if (!wants_another()) {
            break;
        }
    }
    if (show(farewell)) {
        std::getchar();
        std::getchar();
    }
    return exit_status();
}
