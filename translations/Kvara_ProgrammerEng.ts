<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="de_DE">
<context>
    <name>StringTable</name>
    <message>
        <source>Timeout</source>
        <translation>Time-out</translation>
    </message>
    <message>
        <source>Fehler: Falsche Datenanzahl</source>
        <translation>Error: wrong number of data bytes</translation>
    </message>
    <message>
        <source>Kein Quarn USB Treiber für VCOM Gerät installiert!</source>
        <translation>No Quarn USB driver installed for the VCOM device!</translation>
    </message>
    <message>
        <source>Fehler. Falsche Datenanzahl gesendet<byte value="xd"/>
</source>
        <translation>Error. Wrong number of data bytes sent<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>Treiber laden und installieren?</source>
        <translation>Download and install the driver?</translation>
    </message>
    <message>
        <source>Unbekannter Fehler (%d) aufgetreten!</source>
        <translation>Unknown error (%d) occurred!</translation>
    </message>
    <message>
        <source>Kollision Fehler</source>
        <translation>Collision error</translation>
    </message>
    <message>
        <source>Das Passwort muss 4 Byte lang sein!</source>
        <translation>The password must be 4 bytes long!</translation>
    </message>
    <message>
        <source>Schreib- / Leseschutz</source>
        <translation>Write / read protection</translation>
    </message>
    <message>
        <source>Schreibschutz</source>
        <translation>Write protection</translation>
    </message>
    <message>
        <source>An diesem Port ist kein Leser angeschlossen.<byte value="xd"/>
Bitte wählen sie eine andere Schnittstelle.</source>
        <translation>No reader is connected to this port.<byte value="xd"/>
Please choose another interface.</translation>
    </message>
    <message>
        <source>Einstellung für Sendeleistung kann nicht im Gerät gespeichert werden!</source>
        <translation>The transmit power setting cannot be stored in the device!</translation>
    </message>
    <message>
        <source>FW V%d.%02d</source>
        <translation>FW V%d.%02d</translation>
    </message>
    <message>
        <source>Blocklänge ist nicht korrekt</source>
        <translation>Block length is not correct</translation>
    </message>
    <message>
        <source>Unbekanntes Kommando</source>
        <translation>Unknown command</translation>
    </message>
    <message>
        <source>Keine &quot;Value&quot; Information im Block enthalten!<byte value="xd"/>
</source>
        <translation>No &quot;Value&quot; information in the block!<byte value="xd"/>
</translation>
    </message>
    <message>
        <source>Fehler beim Port öffnen</source>
        <translation>Error opening the port</translation>
    </message>
    <message>
        <source>Keine Sendedaten</source>
        <translation>No data to send</translation>
    </message>
    <message>
        <source>Kein gültiger Transponder vorhanden!</source>
        <translation>No valid transponder present!</translation>
    </message>
    <message>
        <source>Antworten des Lesers nicht zuzuordnen: Befehl nicht gesendet</source>
        <translation>The reader's answers cannot be matched: command not sent</translation>
    </message>
    <message>
        <source>Antwort gehört nicht zu diesem Befehl: Ausführung ungewiss</source>
        <translation>The answer does not belong to this command: whether it was carried out is unknown</translation>
    </message>
    <message>
        <source>Das gewählte Gerät ist ein reiner Leser! Hier wird jedoch ein Programmer benötigt!</source>
        <translation>The selected device is a reader only! A programmer is needed here!</translation>
    </message>
    <message>
        <source>Neue Version:</source>
        <translation>New version:</translation>
    </message>
    <message>
        <source> ist aktuell</source>
        <translation> is up to date</translation>
    </message>
    <message>
        <source>Keine Internet Verbindung: Update Prüfung nicht möglich!</source>
        <translation>No internet connection: update check not possible!</translation>
    </message>
    <message>
        <source>Keine Datei gefunden: Update Prüfung nicht möglich!</source>
        <translation>No file found: update check not possible!</translation>
    </message>
    <message>
        <source>Update wird gestartet, bitte warten!</source>
        <translation>Starting the update, please wait!</translation>
    </message>
    <message>
        <source>Quarn Kvara Programmer</source>
        <translation>Quarn Kvara Programmer</translation>
    </message>
</context>
<context>
    <name>UpdateTexts</name>
    <message>
        <source>Update Server meldet Fehler %1: Update Prüfung nicht möglich!</source>
        <translation>Update server reports error %1: update check not possible!</translation>
    </message>
    <message>
        <source>Update Server nicht vertrauenswürdig (Zertifikat): Update Prüfung nicht möglich!</source>
        <translation>Update server not trusted (certificate): update check not possible!</translation>
    </message>
    <message>
        <source>Versionsdatei unvollständig: Update Prüfung nicht möglich!</source>
        <translation>Version file incomplete: update check not possible!</translation>
    </message>
    <message>
        <source>Versionsdatei zu groß: Update Prüfung nicht möglich!</source>
        <translation>Version file too large: update check not possible!</translation>
    </message>
    <message>
        <source>Update Server antwortet nicht: Update Prüfung nicht möglich!</source>
        <translation>Update server does not answer: update check not possible!</translation>
    </message>
    <message>
        <source>Update Server leitet auf fremden Server um: Update Prüfung nicht möglich!</source>
        <translation>Update server redirects to another server: update check not possible!</translation>
    </message>
    <message>
        <source>Keine sichere Update Adresse: Update Prüfung nicht möglich!</source>
        <translation>No secure update address: update check not possible!</translation>
    </message>
    <message>
        <source>Die Datei wurde gelöscht und wird nicht gestartet.</source>
        <translation>The file was deleted and will not be started.</translation>
    </message>
    <message>
        <source>Die Versionsdatei nennt keinen Installer.</source>
        <translation>The version file names no installer.</translation>
    </message>
    <message>
        <source>Die Installer Adresse
%1
ist keine https Adresse einer Datei.</source>
        <translation>The installer address
%1
is not an https address of a file.</translation>
    </message>
    <message>
        <source>Der Installer konnte nicht geladen werden: keine Verbindung zu %1.</source>
        <translation>The installer could not be downloaded: no connection to %1.</translation>
    </message>
    <message>
        <source>Der Installer wurde nicht geladen: das Zertifikat von %1 ist nicht vertrauenswürdig.</source>
        <translation>The installer was not downloaded: the certificate of %1 is not trusted.</translation>
    </message>
    <message>
        <source>Der Installer konnte nicht geladen werden: der Server meldet Fehler %1.</source>
        <translation>The installer could not be downloaded: the server reports error %1.</translation>
    </message>
    <message>
        <source>Der Installer kam nicht vollständig an (%1 von %2 Bytes).</source>
        <translation>The installer did not arrive complete (%1 of %2 bytes).</translation>
    </message>
    <message>
        <source>Der Installer kam ohne Längenangabe an (%1 Bytes), seine Vollständigkeit ist nicht bestätigt.</source>
        <translation>The installer arrived without a length (%1 bytes); nothing confirms that it is complete.</translation>
    </message>
    <message>
        <source>Der Installer ist größer als %1 MiB und wird nicht geladen.</source>
        <translation>The installer is larger than %1 MiB and is not downloaded.</translation>
    </message>
    <message>
        <source>Die Übertragung des Installers stand %1 s lang still und wurde abgebrochen.</source>
        <translation>The installer download stalled for %1 s and was stopped.</translation>
    </message>
    <message>
        <source>Der Update Server leitet den Installer auf eine fremde Adresse um:
%1
Das Update wurde abgebrochen.</source>
        <translation>The update server redirects the installer to a foreign address:
%1
The update was stopped.</translation>
    </message>
    <message>
        <source>Der Installer konnte nicht gespeichert werden: %1</source>
        <translation>The installer could not be saved: %1</translation>
    </message>
    <message>
        <source>Der Installer trägt keine Signatur des Herstellers.</source>
        <translation>The installer carries no signature of the maker.</translation>
    </message>
    <message>
        <source>Die Signatur des Installers ist ungültig.</source>
        <translation>The installer&apos;s signature is not valid.</translation>
    </message>
    <message>
        <source>Die Prüfsumme (SHA256) des Installers stimmt nicht.</source>
        <translation>The installer&apos;s checksum (SHA256) does not match.</translation>
    </message>
    <message>
        <source>Die Datei
&quot;%1&quot;
ist weder ein Paket noch ein Programm und wird nicht gestartet.
Sie liegt im Ordner
%2</source>
        <translation>The file
&quot;%1&quot;
is neither a package nor a program and is not started.
It is in the folder
%2</translation>
    </message>
    <message>
        <source>Die Paketverwaltung des Desktops hat das Paket nicht geöffnet:
%1
Mit &quot;pkexec apt-get install&quot; installieren?</source>
        <translation>The desktop&apos;s package manager did not open the package:
%1
Install it with &quot;pkexec apt-get install&quot;?</translation>
    </message>
    <message>
        <source>Update Prüfung läuft ...</source>
        <translation>Update check running ...</translation>
    </message>
    <message>
        <source>Der Installer wird geladen:
%1</source>
        <translation>Downloading the installer:
%1</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>kvara::CAboutDlg</name>
    <message>
        <source>Info über Quarn Kvara Programmer</source>
        <translation>About Quarn Kvara Programmer</translation>
    </message>
    <message>
        <source>Kvara Programmer V</source>
        <translation>Kvara Programmer V</translation>
    </message>
    <message>
        <source>Nach Update suchen</source>
        <translation>Looking for updates</translation>
    </message>
    <message>
        <source>Gerät</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>automatisch auf neue Version prüfen</source>
        <translation>check for new versions automatically</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>kvara::CEpcFromGtinDlg</name>
    <message>
        <source>EPC aus GTIN</source>
        <translation>EPC from GTIN</translation>
    </message>
    <message>
        <source>GTIN:</source>
        <translation>GTIN:</translation>
    </message>
    <message>
        <source>8, 12, 13 oder 14 Ziffern</source>
        <translation>8, 12, 13 or 14 digits</translation>
    </message>
    <message>
        <source>Stellen der Firmennummer:</source>
        <translation>Company prefix digits:</translation>
    </message>
    <message>
        <source>Filter:</source>
        <translation>Filter:</translation>
    </message>
    <message>
        <source>Seriennummer:</source>
        <translation>Serial number:</translation>
    </message>
    <message>
        <source>Länge:</source>
        <translation>Length:</translation>
    </message>
    <message>
        <source>nach der Seriennummer</source>
        <translation>as the serial number needs</translation>
    </message>
    <message>
        <source>96 Bit (SGTIN-96)</source>
        <translation>96 bits (SGTIN-96)</translation>
    </message>
    <message>
        <source>198 Bit (SGTIN-198)</source>
        <translation>198 bits (SGTIN-198)</translation>
    </message>
    <message>
        <source>Geben Sie die GTIN und die Seriennummer ein.</source>
        <translation>Enter the GTIN and the serial number.</translation>
    </message>
    <message>
        <source>Kein EPC: %1</source>
        <translation>No EPC: %1</translation>
    </message>
</context>
<context>
    <name>kvara::CIPAddrSuche</name>
    <message>
        <source>Liste aller gefundenen IP-Adressen</source>
        <translation>List of all IP addresses found</translation>
    </message>
    <message>
        <source>IP-Adresse ändern</source>
        <translation>Change IP address</translation>
    </message>
    <message>
        <source>Schliessen</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Keine Geräte gefunden!
Bitte prüfen Sie die Firewall-Einstellungen!
Evtl. muss das Programm manuell in der Firewall freigegeben werden.</source>
        <translation>No devices found!
Please check the firewall settings!
The program may have to be allowed through the firewall by hand.</translation>
    </message>
</context>
<context>
    <name>kvara::CKvara_ProgrammerApp</name>
    <message>
        <source>Das Handbuch wurde nicht gefunden. Gesucht in:
%1</source>
        <translation>The manual was not found. Looked in:
%1</translation>
    </message>
    <message>
        <source>Zum Anzeigen der Hilfe fehlt ein PDF-Betrachter. Das Handbuch liegt hier:
%1

Installieren Sie einen PDF-Betrachter (zum Beispiel mit „sudo apt install evince“) oder öffnen Sie die Datei von Hand.</source>
        <translation>No PDF viewer is available to show the help. The manual is here:
%1

Install a PDF viewer (for example with “sudo apt install evince”) or open the file yourself.</translation>
    </message>
</context>
<context>
    <name>kvara::CKvara_ProgrammerDlg</name>
    <message>
        <source>Quarn Kvara Programmer</source>
        <translation>Quarn Kvara Programmer</translation>
    </message>
    <message>
        <source>Passwort verwenden</source>
        <translation>Use password</translation>
    </message>
    <message>
        <source>EPC:</source>
        <translation>EPC:</translation>
    </message>
    <message>
        <source>Anzahl:</source>
        <translation>Count:</translation>
    </message>
    <message>
        <source>Inventory Zyklisch</source>
        <translation>Cyclic inventory</translation>
    </message>
    <message>
        <source>Inventory</source>
        <translation>Inventory</translation>
    </message>
    <message>
        <source>Alles lesen</source>
        <translation>Read all</translation>
    </message>
    <message>
        <source>Schliessen</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Sperren</source>
        <translation>Lock</translation>
    </message>
    <message>
        <source>Electronic Product Code (Bank 1)</source>
        <translation>Electronic Product Code (Bank 1)</translation>
    </message>
    <message>
        <source>CRC / PC :</source>
        <translation>CRC / PC :</translation>
    </message>
    <message>
        <source>Nutzlänge:</source>
        <translation>EPC length:</translation>
    </message>
    <message>
        <source>AFI:</source>
        <translation>AFI:</translation>
    </message>
    <message>
        <source>ISO/IEC 15961 Mode</source>
        <translation>ISO/IEC 15961 mode</translation>
    </message>
    <message>
        <source>Länge:</source>
        <translation>Length:</translation>
    </message>
    <message>
        <source>Lesen</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>Schreiben</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>Tag ID (Bank 2)</source>
        <translation>Tag ID (Bank 2)</translation>
    </message>
    <message>
        <source>TID:</source>
        <translation>TID:</translation>
    </message>
    <message>
        <source>Hersteller:</source>
        <translation>Manufacturer:</translation>
    </message>
    <message>
        <source>Model:</source>
        <translation>Model:</translation>
    </message>
    <message>
        <source>User Memory (Bank 3)</source>
        <translation>User Memory (Bank 3)</translation>
    </message>
    <message>
        <source>Start:</source>
        <translation>Start:</translation>
    </message>
    <message>
        <source>Daten:</source>
        <translation>Data:</translation>
    </message>
    <message>
        <source>Reserved (Bank 0)</source>
        <translation>Reserved (Bank 0)</translation>
    </message>
    <message>
        <source>Kill Passwort:</source>
        <translation>Kill password:</translation>
    </message>
    <message>
        <source>Access Passwort:</source>
        <translation>Access password:</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Drücken Sie F1, um die Hilfefunktion zu aktivieren</source>
        <translation>Press F1 for help</translation>
    </message>
    <message>
        <source>Geben Sie eine ganze Zahl ein.</source>
        <translation>Enter a whole number.</translation>
    </message>
    <message>
        <source>Geben Sie eine ganze Zahl zwischen %1 und %2 ein.</source>
        <translation>Enter a whole number between %1 and %2.</translation>
    </message>
    <message>
        <source>Schreiben erfolgreich</source>
        <translation>Write successful</translation>
    </message>
    <message>
        <source>Lesen erfolgreich</source>
        <translation>Read successful</translation>
    </message>
    <message>
        <source>Fehler beim Schreiben</source>
        <translation>Error writing</translation>
    </message>
    <message>
        <source>Fehler beim Lesen</source>
        <translation>Error reading</translation>
    </message>
    <message>
        <source>Fehler bei Select</source>
        <translation>Error selecting the tag</translation>
    </message>
    <message>
        <source>Kein Zugriff auf Gerät möglich</source>
        <translation>No access to the device</translation>
    </message>
    <message>
        <source>Fehler bei Lock</source>
        <translation>Error locking</translation>
    </message>
    <message>
        <source>Angegebene Datenlänge entspricht nicht der eingetragenen Daten. Soll die Datenlänge verwendet werden?</source>
        <translation>The length given does not match the data entered. Use the length given?</translation>
    </message>
    <message>
        <source>Fehler: Die Länge muss zwischen 0 und 200 Byte liegen, es wurde nichts geschrieben</source>
        <translation>Error: the length must lie between 0 and 200 bytes; nothing was written</translation>
    </message>
    <message>
        <source>Schnittstelle wählen</source>
        <translation>Choose interface</translation>
    </message>
    <message>
        <source>Sendeleistung einstellen</source>
        <translation>Set transmit power</translation>
    </message>
    <message>
        <source>IP-Adresse</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>Deutsch</source>
        <translation>German</translation>
    </message>
    <message>
        <source>Englisch</source>
        <translation>English</translation>
    </message>
    <message>
        <source>Inf&amp;o über Quarn Kvara Programmer ...</source>
        <translation>Ab&amp;out Quarn Kvara Programmer ...</translation>
    </message>
    <message>
        <source>Kein Gerät geöffnet, bitte zuerst Gerät auswählen!</source>
        <translation>No device open, please choose a device first!</translation>
    </message>
    <message>
        <source>Diese Funktion kann nur bei Kvara P20 oder Kvara P30 verwendet werden!</source>
        <translation>This function is only available with the Kvara P20 or Kvara P30!</translation>
    </message>
    <message>
        <source>Kein Zugriff auf %1: Der Benutzer muss zur Gruppe %2 gehören (sudo usermod -aG %2 $USER, dann neu anmelden).</source>
        <translation>No access to %1: the user must belong to the group %2 (sudo usermod -aG %2 $USER, then log in again).</translation>
    </message>
    <message>
        <source>Diese Einstellung kann am Transponder nie wieder geändert werden. Wirklich ausführen?</source>
        <translation>This setting can never be changed on the transponder again. Really go ahead?</translation>
    </message>
    <message>
        <source>Zeilenumbruch</source>
        <translation>line break</translation>
    </message>
    <message>
        <source>Tabulator</source>
        <translation>tab</translation>
    </message>
    <message>
        <source>Ungültiges Zeichen %1 in „%2“: es wurde nichts geschrieben</source>
        <translation>Invalid character %1 in “%2”: nothing was written</translation>
    </message>
    <message>
        <source>EPC der Auswahl</source>
        <translation>selected EPC</translation>
    </message>
    <message>
        <source>Passwort</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Fehler bei Select: Der Leser antwortet nicht</source>
        <translation>Error selecting the tag: the reader does not answer</translation>
    </message>
    <message>
        <source>EPC</source>
        <translation>EPC</translation>
    </message>
    <message>
        <source>Die Nutzlänge (%1 Byte) passt nicht zum eingegebenen EPC (%2 Byte).

Ja: Nutzlänge %3 verwenden (die Länge des eingegebenen EPC).
Nein: Nutzlänge %1 beibehalten.
Abbrechen: nichts schreiben.</source>
        <translation>The EPC length (%1 bytes) does not fit the EPC typed (%2 bytes).

Yes: use EPC length %3 (the length of the EPC typed).
No: keep EPC length %1.
Cancel: write nothing.</translation>
    </message>
    <message>
        <source>Mit der Nutzlänge 0 hat der Transponder danach keinen EPC mehr. Trotzdem schreiben?</source>
        <translation>With EPC length 0 the transponder has no EPC afterwards. Write anyway?</translation>
    </message>
    <message>
        <source>Daten</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>Access Passwort</source>
        <translation>Access password</translation>
    </message>
    <message>
        <source>Kill Passwort</source>
        <translation>Kill password</translation>
    </message>
    <message>
        <source>Menü: Schnittstelle wählen, Sendeleistung, IP-Adresse, Export, Sprache, Info</source>
        <translation>Menu: choose interface, transmit power, IP address, export, language, about</translation>
    </message>
    <message>
        <source>Aus GTIN ...</source>
        <translation>From GTIN ...</translation>
    </message>
    <message>
        <source>EPC aus GTIN, Firmennummer, Filter und Seriennummer bilden</source>
        <translation>Make the EPC from GTIN, company prefix, filter and serial number</translation>
    </message>
    <message>
        <source>Inventory kopieren</source>
        <translation>Copy inventory</translation>
    </message>
    <message>
        <source>Inventory als CSV speichern ...</source>
        <translation>Save inventory as CSV ...</translation>
    </message>
    <message>
        <source>Gelesene Speicherbänke kopieren</source>
        <translation>Copy the banks read</translation>
    </message>
    <message>
        <source>Gelesene Speicherbänke als CSV speichern ...</source>
        <translation>Save the banks read as CSV ...</translation>
    </message>
    <message>
        <source>Keine Änderung gegenüber dem zuletzt Gelesenen: 0 von %1 Wörtern geschrieben</source>
        <translation>No change from what was last read: 0 of %1 words written</translation>
    </message>
    <message>
        <source>Schreiben erfolgreich: %1 von %2 Wörtern geschrieben</source>
        <translation>Write successful: %1 of %2 words written</translation>
    </message>
    <message>
        <source>Kein GS1-EPC</source>
        <translation>No GS1 EPC</translation>
    </message>
    <message>
        <source>Der EPC enthält andere Zeichen als Hex-Ziffern</source>
        <translation>The EPC holds characters other than hex digits</translation>
    </message>
    <message>
        <source>Die letzte Inventory hat den EPC %1 auf %2 Transpondern gefunden. Geschrieben wird auf den, der zuerst antwortet. Trotzdem schreiben?</source>
        <translation>The last inventory found the EPC %1 on %2 transponders. The write goes to whichever answers first. Write anyway?</translation>
    </message>
    <message>
        <source>In die Zwischenablage kopiert</source>
        <translation>Copied to the clipboard</translation>
    </message>
    <message>
        <source>Als CSV speichern</source>
        <translation>Save as CSV</translation>
    </message>
    <message>
        <source>CSV-Dateien (*.csv);;Alle Dateien (*)</source>
        <translation>CSV files (*.csv);;All files (*)</translation>
    </message>
    <message>
        <source>Gespeichert: %1</source>
        <translation>Saved: %1</translation>
    </message>
    <message>
        <source>Die Datei %1 konnte nicht gespeichert werden: %2</source>
        <translation>The file %1 could not be saved: %2</translation>
    </message>
</context>
<context>
    <name>kvara::CLanConfig</name>
    <message>
        <source>LAN Einstellung</source>
        <translation>LAN settings</translation>
    </message>
    <message>
        <source>IP Adresse automatisch beziehen</source>
        <translation>Obtain an IP address automatically</translation>
    </message>
    <message>
        <source>Folgende IP Adresse verwenden</source>
        <translation>Use the following IP address</translation>
    </message>
    <message>
        <source>DHCP Name:</source>
        <translation>DHCP name:</translation>
    </message>
    <message>
        <source>IP-Adresse:</source>
        <translation>IP address:</translation>
    </message>
    <message>
        <source>Subnetzmaske:</source>
        <translation>Subnet mask:</translation>
    </message>
    <message>
        <source>Gateway:</source>
        <translation>Gateway:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Geben Sie eine ganze Zahl zwischen %1 und %2 ein.</source>
        <translation>Enter a whole number between %1 and %2.</translation>
    </message>
    <message>
        <source>IP-Adresse, Subnetzmaske oder Gateway konnte nicht gesetzt werden!</source>
        <translation>IP address, subnet mask or gateway could not be set!</translation>
    </message>
    <message>
        <source>Keine gültige IP-Adresse: %1
Vier Zahlen von 0 bis 255, durch Punkte getrennt.</source>
        <translation>Not a valid IP address: %1
Four numbers from 0 to 255, separated by dots.</translation>
    </message>
</context>
<context>
    <name>kvara::CPortSelectDlg</name>
    <message>
        <source>USB-HID-Leser gefunden, aber die HID-Unterstützung fehlt. Bitte das Paket libhidapi-hidraw0 installieren (sudo apt install libhidapi-hidraw0) und das Programm neu starten.</source>
        <translation>USB HID reader found, but HID support is missing. Please install the package libhidapi-hidraw0 (sudo apt install libhidapi-hidraw0) and start the program again.</translation>
    </message>
    <message>
        <source>Schnittstelle</source>
        <translation>Interface</translation>
    </message>
    <message>
        <source>Schnittstelle auswählen</source>
        <translation>Choose the interface</translation>
    </message>
    <message>
        <source>Ethernet aktivieren</source>
        <translation>Enable Ethernet</translation>
    </message>
    <message>
        <source>IP ?</source>
        <translation>IP ?</translation>
    </message>
    <message>
        <source>HID Mode</source>
        <translation>HID mode</translation>
    </message>
    <message>
        <source>Virtual Com</source>
        <translation>Virtual COM</translation>
    </message>
    <message>
        <source>keine</source>
        <translation>none</translation>
    </message>
    <message>
        <source>gerade</source>
        <translation>even</translation>
    </message>
    <message>
        <source>ungerade</source>
        <translation>odd</translation>
    </message>
    <message>
        <source>Baudrate</source>
        <translation>Baud rate</translation>
    </message>
    <message>
        <source>Parität</source>
        <translation>Parity</translation>
    </message>
    <message>
        <source>Stopbits:</source>
        <translation>Stop bits:</translation>
    </message>
    <message>
        <source>Timeout in [ms]</source>
        <translation>Time-out in [ms]</translation>
    </message>
    <message>
        <source>Geräteadresse [dez.]</source>
        <translation>Device address [dec.]</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Geben Sie eine ganze Zahl zwischen %1 und %2 ein.</source>
        <translation>Enter a whole number between %1 and %2.</translation>
    </message>
</context>
<context>
    <name>kvara::CSperrenDlg</name>
    <message>
        <source>Speicherbereich sperren</source>
        <translation>Lock memory area</translation>
    </message>
    <message>
        <source>Speicherbereich</source>
        <translation>Memory area</translation>
    </message>
    <message>
        <source>Kill Passwort</source>
        <translation>Kill password</translation>
    </message>
    <message>
        <source>Access Passwort</source>
        <translation>Access password</translation>
    </message>
    <message>
        <source>EPC Memory</source>
        <translation>EPC memory</translation>
    </message>
    <message>
        <source>TID Memory</source>
        <translation>TID memory</translation>
    </message>
    <message>
        <source>User Memory</source>
        <translation>User memory</translation>
    </message>
    <message>
        <source>Ungeschützt</source>
        <translation>Unprotected</translation>
    </message>
    <message>
        <source>Permanent freigegeben</source>
        <translation>Permanently unlocked</translation>
    </message>
    <message>
        <source>Passwortgeschützt</source>
        <translation>Password protected</translation>
    </message>
    <message>
        <source>Permanent gesperrt</source>
        <translation>Permanently locked</translation>
    </message>
    <message>
        <source>Passwort:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>Ausführen</source>
        <translation>Execute</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>kvara::CTXPowerDlg</name>
    <message>
        <source>Sendeleistung einstellen</source>
        <translation>Set transmit power</translation>
    </message>
    <message>
        <source>Sendeleistung: </source>
        <translation>Transmit power: </translation>
    </message>
    <message>
        <source>dBm</source>
        <translation>dBm</translation>
    </message>
    <message>
        <source>Lesen</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>Schreiben</source>
        <translation>Write</translation>
    </message>
    <message>
        <source>Schliessen</source>
        <translation>Close</translation>
    </message>
</context>
</TS>
