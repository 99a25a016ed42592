// Run-time errors: a number and a description, as the log lines report them.
// Procedures that trap errors catch everything and log CurrentError().
#pragma once

#include <exception>
#include <string>

struct RtError {
  long number = 0;
  std::string description;

  static RtError InvalidCall() { return {5, "Invalid procedure call or argument"}; }
  static RtError Overflow() { return {6, "Overflow"}; }
  static RtError TypeMismatch() { return {13, "Type mismatch"}; }
  static RtError FileNotFound() { return {53, "File not found"}; }
  static RtError PermissionDenied() { return {70, "Permission denied"}; }
  static RtError PathNotFound() { return {76, "Path not found"}; }
  static RtError ObjectRequired() { return {424, "Object required"}; }
  static RtError CannotCreateObject() { return {429, "ActiveX component can't create object"}; }
};

// The run has reached its end (EndRun); unwinds to the program's entry.
// Deliberately not a std::exception, so that step-level traps never swallow it.
struct RunEnded {
  int exitCode = 0;
};

// Converts the exception being handled into an RtError. Must be called from
// inside a catch block; RunEnded is rethrown.
RtError CurrentError();
