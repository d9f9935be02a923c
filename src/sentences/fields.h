// Splitting a sentence into fields and reading single fields: the rules both decoders share.
//
// A sentence is split the way strtok splits at ",", and fields are read the way atoi, atof
// and sscanf read numbers, in decimal only. Fields are views into the receive buffer: nothing
// is copied and nothing is allocated. A field is never longer than the 1024-byte datagram it
// came in.
#pragma once

#include <string_view>

// The split position within one sentence.
struct sentenceFields {
    std::string_view rest;
};

// The next field of the sentence, or an empty view when there is none. A run of commas is one
// separator, so an empty field is no field and shifts every later position; the last field
// keeps any checksum and line end attached. Once no field was found, none ever is again.
std::string_view nextField(sentenceFields &sentence);

// Whether field begins with the six characters of id, case-sensitive.
bool matchSentenceId(std::string_view field, std::string_view id);

// hhmmss with the seconds as a whole number (any fraction is dropped). Each number is stored as
// soon as it is read; the first that cannot be read ends the reading. Returns how many were
// stored.
int readTimeOfDay(std::string_view field, int *hour, int *min, int *sec);
// hhmmss.ss with the seconds as a real number, fraction kept, rounded to single precision.
int readTimeOfDay(std::string_view field, int *hour, int *min, float *sec);

// ddmm.mmmm (degreeChars 2) or dddmm.mmmm (degreeChars 3) as decimal degrees. Stores into
// *coordinate and returns true only when the field yields both degrees and minutes.
bool readDegreesMinutes(std::string_view field, int degreeChars, double *coordinate);

// Negates *coordinate when the field begins with negativeLetter ('S' or 'W', upper case only).
void applyHemisphere(std::string_view field, double *coordinate, char negativeLetter);

// As atoi, saturating at the limits of a 32-bit int.
int readInteger(std::string_view field);

// As atof, decimal spellings only: no hexadecimal, inf or nan. No number gives +0.0.
double readReal(std::string_view field);

// The first character of the field, whatever it is.
char readCharacter(std::string_view field);

// A double rounded to the nearest float; beyond the float range, an infinity of its sign.
float toSingle(double value);
