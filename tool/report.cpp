// The report, help and disclaimer texts. The German texts and their spacing are part of the
// program's interface: scripts compare them, so they stay exactly as they are, typos included.
#include "report.h"

#include <string>

#include "console.h"
#include "korvalelib.h"

namespace korvale {
namespace {

// Every line is 74 characters; the ö of line 6 is the cp1252 byte 0xF6.
constexpr std::string_view kDisclaimer[] = {
    "Disclaimer:                                                               ",
    "                                                                          ",
    "                                                                          ",
    "  Datenbasen ist ausgeschlossen.                                          ",
    "- Die mit diesem CRC32-Tool erstellten Kennwert-Bibliotheken muessen vom  ",
    "  Herausgeber der Kennwerte vor der Ver\xF6"
    "ffentlichung validiert werden.    ",
    "                                                                          ",
    "  nicht verwenden!                                           (2012/Dr-Vyr)",
};

void printHeaderLines(std::string_view command, std::string_view crc) {
  printLine(libraryText(DUDO66413_getInfoHeader));
  printLine(command);
  printLine("CRC32: " + std::string(crc));
}

}  // namespace

std::string libraryText(void(KORVALELIB_CALL* getter)(CountedString*)) {
  CountedString buffer;
  getter(&buffer);
  return {buffer.text, buffer.length};
}

void printLine(std::string_view text) {
  std::string line(text);
  line += "\r\n";
  if (!writeStandardOutput(line)) throw OutputError();
}

void printInfo() {
  // Each line is printed before the next text is fetched.
  printLine(libraryText(DUDO66413_getInfoHeader));
  printLine(libraryText(DUDO66413_getInfoCommandFile));
  printLine("CRC32: " + libraryText(DUDO66413_getInfoCRC32));
  printLine(libraryText(DUDO66413_getInfoErrorString));
}

void printParameterError(ParameterError error) {
  printHeaderLines("...", libraryText(DUDO66413_getFailSafeCRC32));
  printLine(error == ParameterError::kUnknown ? "ERROR: [A1] unknown parameter."
                                              : "ERROR: [A2] to many parameter.");
}

void printDisclaimer() {
  for (std::string_view line : kDisclaimer) printLine(line);
}

void printHelp() {
  const std::string failSafe = libraryText(DUDO66413_getFailSafeCRC32);
  printHeaderLines("HELP ...", failSafe);
  printLine("OK");
  printLine("Das Tool berechnet bzw. prueft die CRC32 fuer die uebergebene Datei,");
  printLine("die dem in der VDMA 66413 beschriebenen XML-Format entsprechen muss.");
  printLine("Das Tool erwartet im XML-File immer einen Platzhalter fuer die CRC32,");
  printLine("der mit dem SET-Befehl gegen eine gueltige CRC32 ersetzt werden kann.");
  printLine("");
  printLine("Parameterset_______________________________________");
  printLine("HELP              -  diese Seite");
  printLine("SET   <FileName>  -  Setzten der CRC32");
  printLine("CHECK <FileName>  -  Ueberpruefen der CRC32 ");
  printLine("RESET <FileName>  -  Zuruecksetzen der CRC32 auf " + failSafe);
  printLine("");
  printLine("Die Kommandozeilen-Rueckmeldung erfolgt in vier Abschnitten und ist immer nach");
  printLine("demselben Schema aufgebaut. Die Kommandozeilen-Rueckmeldung verwendet dafuer");
  printLine("den >STD-OUT<-Port, so dass die Ausgaben umgeleitet und die Bedienung auto-");
  printLine("matisiert werden kann.");
  printLine("- Die erste Zeile enthaelt die Versionsangabe [" + libraryText(DUDO66413_getVersion) +
            "]");
  printLine("- Die zweite Zeile bestaetigt die Aufrufparameter, wobei der Dateiname in der");
  printLine("  Rueckmeldung auf 60 Zeichen begrenzt wird.");
  printLine("- Die dritte Zeile enthaelt die Kennung >CRC32: < und die aktuelle CRC32.");
  printLine("- Die letzte Zeile enthaelt immer >OK< bzw. >ERROR: < und einen Fehlertext.");
  printLine("");
  printDisclaimer();
  printLine("");
  printLine("OK");
}

}  // namespace korvale
