#pragma once

// Makes sure that standard input, output and error are open, on the null device where they were
// closed, so that the descriptors the program opens next (a pipe, a port) never take their
// numbers, and text meant for standard error never lands in one of them. Called first thing in
// main. False when one cannot be opened. (Its source is the platform's, chosen by the build.)
bool OpenClosedStandardStreams();
