<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="de_DE">
<context>
    <name>Gs1</name>
    <message>
        <source>%1 „%2“ ist keine Zahl</source>
        <translation>%1 “%2” is not a number</translation>
    </message>
    <message>
        <source>%1 „%2“ hat führende Nullen, die dieses Schema nicht behält</source>
        <translation>%1 “%2” has leading zeros, which this scheme cannot keep</translation>
    </message>
    <message>
        <source>%1 %2 ist größer, als seine %3 Bit fassen</source>
        <translation>%1 %2 is larger than its %3 bits hold</translation>
    </message>
    <message>
        <source>%1 ist leer</source>
        <translation>%1 is empty</translation>
    </message>
    <message>
        <source>%1 enthält das Zeichen „%2“, das GS1 nicht erlaubt</source>
        <translation>%1 holds the character &apos;%2&apos;, which GS1 does not allow</translation>
    </message>
    <message>
        <source>%1 hat %2 Zeichen, es passen höchstens %3</source>
        <translation>%1 has %2 characters; at most %3 fit</translation>
    </message>
    <message>
        <source>%1: Zeichen nach seinem Ende</source>
        <translation>%1: characters after its end</translation>
    </message>
    <message>
        <source>%1: Zeichencode %2 ist nicht erlaubt</source>
        <translation>%1: character code %2 is not allowed</translation>
    </message>
    <message>
        <source>%1: Füllbits nicht null</source>
        <translation>%1: padding bits not zero</translation>
    </message>
    <message>
        <source>kein EPC</source>
        <translation>no EPC</translation>
    </message>
    <message>
        <source>Header %1 ist kein GS1-Schema, das dieses Programm kennt</source>
        <translation>header %1 is no GS1 scheme this program knows</translation>
    </message>
    <message>
        <source>%1 braucht %2 Byte, nicht %3</source>
        <translation>%1 needs %2 bytes, not %3</translation>
    </message>
    <message>
        <source>Partition 7 gibt es nicht</source>
        <translation>partition 7 does not exist</translation>
    </message>
    <message>
        <source>Firmennummer %1 hat mehr als %2 Stellen</source>
        <translation>company prefix %1 has more than %2 digits</translation>
    </message>
    <message>
        <source>Referenz %1 hat mehr als %2 Stellen</source>
        <translation>reference %1 has more than %2 digits</translation>
    </message>
    <message>
        <source>Objektreferenz %1 hat mehr als %2 Stellen</source>
        <translation>asset reference %1 has more than %2 digits</translation>
    </message>
    <message>
        <source>die 24 freien Bits einer SSCC-96 sind nicht null</source>
        <translation>the 24 unallocated bits of an SSCC-96 are not zero</translation>
    </message>
    <message>
        <source>Filter %1 liegt nicht zwischen 0 und 7</source>
        <translation>filter %1 is not 0-7</translation>
    </message>
    <message>
        <source>Firmennummer „%1“ hat nicht 6 bis 12 Stellen</source>
        <translation>company prefix “%1” is not 6 to 12 digits</translation>
    </message>
    <message>
        <source>Referenz „%1“ muss bei einer %3-stelligen Firmennummer %2 Stellen haben</source>
        <translation>reference “%1” must be %2 digits with a %3-digit company prefix</translation>
    </message>
    <message>
        <source>keine Tag-URI (urn:epc:tag:...)</source>
        <translation>not a tag URI (urn:epc:tag:...)</translation>
    </message>
    <message>
        <source>kein Schema in der Tag-URI</source>
        <translation>no scheme in the tag URI</translation>
    </message>
    <message>
        <source>Schema „%1“ wird nicht unterstützt</source>
        <translation>scheme “%1” is not supported</translation>
    </message>
    <message>
        <source>Eine %1-Tag-URI braucht %2 durch Punkte getrennte Felder</source>
        <translation>%1 tag URI needs %2 fields separated by dots</translation>
    </message>
    <message>
        <source>Filter „%1“ liegt nicht zwischen 0 und 7</source>
        <translation>filter “%1” is not 0-7</translation>
    </message>
    <message>
        <source>ein fehlerhaftes %-Escape in der Tag-URI</source>
        <translation>a broken %-escape in the tag URI</translation>
    </message>
    <message>
        <source>GTIN „%1“ hat nicht 8, 12, 13 oder 14 Ziffern</source>
        <translation>GTIN “%1” is not 8, 12, 13 or 14 digits</translation>
    </message>
    <message>
        <source>GTIN %1 hat die falsche Prüfziffer (richtig wäre %2)</source>
        <translation>GTIN %1 has the wrong check digit (it should be %2)</translation>
    </message>
    <message>
        <source>Stellen der Firmennummer: %1 liegt nicht zwischen 6 und 12</source>
        <translation>company prefix length %1 is not 6 to 12</translation>
    </message>
    <message>
        <source>eine SGTIN hat 96 oder 198 Bit, nicht %1</source>
        <translation>an SGTIN has 96 or 198 bits, not %1</translation>
    </message>
    <message>
        <source>Seriennummer „%1“ passt nicht in SGTIN-96 (Ziffern ohne führende Nullen, unter 2^38): wählen Sie 198 Bit</source>
        <translation>serial “%1” does not fit SGTIN-96 (digits without leading zeros, below 2^38); use 198 bits</translation>
    </message>
    <message>
        <source>Seriennummer</source>
        <translation>serial</translation>
    </message>
    <message>
        <source>Erweiterung</source>
        <translation>extension</translation>
    </message>
    <message>
        <source>Objektreferenz</source>
        <translation>asset reference</translation>
    </message>
    <message>
        <source>General-Manager-Nummer</source>
        <translation>general manager number</translation>
    </message>
    <message>
        <source>Objektklasse</source>
        <translation>object class</translation>
    </message>
</context>
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
        <translation>No “Value” information in the block!<byte value="xd"/>
</translation>
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
        <translation>The reader&apos;s answers cannot be matched: command not sent</translation>
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
        <source>Update wird gestartet, bitte warten!</source>
        <translation>Starting the update, please wait!</translation>
    </message>
    <message>
        <source>Quarn Kvara Programmer</source>
        <translation>Quarn Kvara Programmer</translation>
    </message>
    <message>
        <source>Kein Quarn-USB-Treiber für das VCOM-Gerät installiert!</source>
        <translation>No Quarn USB driver installed for the VCOM device!</translation>
    </message>
    <message>
        <source>Kollisionsfehler</source>
        <translation>Collision error</translation>
    </message>
    <message>
        <source>An diesem Port ist kein Leser angeschlossen.<byte value="xd"/>
Bitte wählen Sie eine andere Schnittstelle.</source>
        <translation>No reader is connected to this port.</translation>
    </message>
    <message>
        <source>Fehler beim Öffnen des Ports</source>
        <translation>Error opening the port</translation>
    </message>
    <message>
        <source>Keine Internetverbindung: Update-Prüfung nicht möglich!</source>
        <translation>No internet connection: update check not possible!</translation>
    </message>
    <message>
        <source>Keine Datei gefunden: Update-Prüfung nicht möglich!</source>
        <translation>No file found: update check not possible!</translation>
    </message>
    <message>
        <source>Speicherüberlauf: der Bereich ist kleiner</source>
        <translation>Memory overrun: the area is smaller</translation>
    </message>
    <message>
        <source>Speicherbereich gesperrt</source>
        <translation>Memory area locked</translation>
    </message>
    <message>
        <source>Falsches Passwort</source>
        <translation>Wrong password</translation>
    </message>
    <message>
        <source>Der Leser nimmt den Wert nicht an</source>
        <translation>The reader does not accept the value</translation>
    </message>
</context>
<context>
    <name>UpdateTexts</name>
    <message>
        <source>Die Datei wurde gelöscht und wird nicht gestartet.</source>
        <translation>The file was deleted and will not be started.</translation>
    </message>
    <message>
        <source>Die Versionsdatei nennt keinen Installer.</source>
        <translation>The version file names no installer.</translation>
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
“%1”
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
Install it with “pkexec apt-get install”?</translation>
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
    <message>
        <source>Update-Server meldet Fehler %1: Update-Prüfung nicht möglich!</source>
        <translation>Update server reports error %1: update check not possible!</translation>
    </message>
    <message>
        <source>Update-Server nicht vertrauenswürdig (Zertifikat): Update-Prüfung nicht möglich!</source>
        <translation>Update server not trusted (certificate): update check not possible!</translation>
    </message>
    <message>
        <source>Versionsdatei unvollständig: Update-Prüfung nicht möglich!</source>
        <translation>Version file incomplete: update check not possible!</translation>
    </message>
    <message>
        <source>Versionsdatei zu groß: Update-Prüfung nicht möglich!</source>
        <translation>Version file too large: update check not possible!</translation>
    </message>
    <message>
        <source>Update-Server antwortet nicht: Update-Prüfung nicht möglich!</source>
        <translation>Update server does not answer: update check not possible!</translation>
    </message>
    <message>
        <source>Update-Server leitet auf fremden Server um: Update-Prüfung nicht möglich!</source>
        <translation>Update server redirects to another server: update check not possible!</translation>
    </message>
    <message>
        <source>Keine sichere Update-Adresse: Update-Prüfung nicht möglich!</source>
        <translation>No secure update address: update check not possible!</translation>
    </message>
    <message>
        <source>Die Installer-Adresse
%1
ist keine https Adresse einer Datei.</source>
        <translation>The installer address
%1
is not an https address of a file.</translation>
    </message>
    <message>
        <source>Der Update-Server leitet den Installer auf eine fremde Adresse um:
%1
Das Update wurde abgebrochen.</source>
        <translation>The update server redirects the installer to a foreign address:
%1
The update was stopped.</translation>
    </message>
    <message>
        <source>Update-Prüfung läuft ...</source>
        <translation>Update check running ...</translation>
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
    <message>
        <source>SDK Version %1 (libkvara %2.%3.%4)</source>
        <translation>SDK version %1 (libkvara %2.%3.%4)</translation>
    </message>
</context>
<context>
    <name>kvara::CCancelOffer</name>
    <message>
        <source>Warte auf den Leser …</source>
        <translation>Waiting for the reader …</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Wird nach dem laufenden Befehl abgebrochen …</source>
        <translation>Cancelling after the current command …</translation>
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
        <source>Keine Geräte gefunden!
Bitte prüfen Sie die Firewall-Einstellungen!
Evtl. muss das Programm manuell in der Firewall freigegeben werden.</source>
        <translation>No devices found!
Please check the firewall settings!
The program may have to be allowed through the firewall by hand.</translation>
    </message>
    <message>
        <source>Schließen</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Keine Geräte gefunden: Dieser Rechner hat keine aktive Netzwerkverbindung (keinen eingeschalteten Netzwerkadapter mit IPv4-Adresse).
Bitte verbinden Sie den Rechner mit dem Netz der Leser.</source>
        <translation>No devices found: this computer has no active network connection (no network adapter that is up and has an IPv4 address).
Please connect the computer to the readers&apos; network.</translation>
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
        <source>Alles lesen</source>
        <translation>Read all</translation>
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
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Drücken Sie F1, um die Hilfefunktion zu aktivieren</source>
        <translation>Press F1 for help</translation>
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
        <source>Kein Zugriff auf Gerät möglich</source>
        <translation>No access to the device</translation>
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
        <source>EPC der Auswahl</source>
        <translation>selected EPC</translation>
    </message>
    <message>
        <source>Passwort</source>
        <translation>Password</translation>
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
    <message>
        <source>Inventur zyklisch</source>
        <translation>Cyclic inventory</translation>
    </message>
    <message>
        <source>Inventur</source>
        <translation>Inventory</translation>
    </message>
    <message>
        <source>Schließen</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>ISO/IEC-15961-Modus</source>
        <translation>ISO/IEC 15961 mode</translation>
    </message>
    <message>
        <source>Modell:</source>
        <translation>Model:</translation>
    </message>
    <message>
        <source>Kill-Passwort:</source>
        <translation>Kill password:</translation>
    </message>
    <message>
        <source>Access-Passwort:</source>
        <translation>Access password:</translation>
    </message>
    <message>
        <source>Ausgewählt: %1 – die markierten Felder zeigen Daten eines anderen Transponders</source>
        <translation>Selected: %1 – the marked fields show another transponder&apos;s data</translation>
    </message>
    <message>
        <source>Ausgewählt: %1</source>
        <translation>Selected: %1</translation>
    </message>
    <message>
        <source>Inventur kopieren</source>
        <translation>Copy inventory</translation>
    </message>
    <message>
        <source>Inventur als CSV speichern ...</source>
        <translation>Save inventory as CSV ...</translation>
    </message>
    <message>
        <source>Der Port %1 ist offen, aber kein Leser hat innerhalb von %2 ms geantwortet.
Ist der Leser eingeschaltet, und stimmen Baudrate, Adresse und Timeout (☰ &gt; Schnittstelle wählen)?</source>
        <translation>The port %1 is open, but no reader answered within %2 ms.
Is the reader switched on, and are baud rate, address and time-out right (☰ &gt; Select interface)?</translation>
    </message>
    <message>
        <source> – Der Leser antwortet nicht mehr, die Verbindung wurde getrennt. Neu verbinden: ☰ &gt; Schnittstelle wählen</source>
        <translation> – The reader no longer answers; the connection was closed. To connect again: ☰ &gt; Select interface</translation>
    </message>
    <message>
        <source>Ungültiges Zeichen %1</source>
        <translation>Invalid character %1</translation>
    </message>
    <message>
        <source>Ungerade Anzahl Hex-Ziffern bei „%1“ (ein Byte sind zwei Ziffern)</source>
        <translation>Odd number of hex digits at “%1” (a byte is two digits)</translation>
    </message>
    <message>
        <source>%1 in „%2“: es wurde nichts geschrieben</source>
        <translation>%1 in “%2”: nothing was written</translation>
    </message>
    <message>
        <source>Ein Passwort hat 4 Byte (8 Hex-Ziffern)</source>
        <translation>a password has 4 bytes (8 hex digits)</translation>
    </message>
    <message>
        <source>Passwort (%1): %2, es wurde nichts gesendet</source>
        <translation>Password (%1): %2, nothing was sent</translation>
    </message>
    <message>
        <source>Nichts geschrieben</source>
        <translation>Nothing written</translation>
    </message>
    <message>
        <source>Die Daten in „%1“ stammen von Transponder %2.
Ausgewählt ist Transponder %3.

Trotzdem auf Transponder %3 schreiben?</source>
        <translation>The data in “%1” comes from transponder %2.
Transponder %3 is selected.

Write to transponder %3 anyway?</translation>
    </message>
    <message>
        <source>Der EPC %1 steht schon auf einem anderen Transponder der letzten Inventur. Danach tragen zwei Transponder denselben EPC.

Trotzdem auf Transponder %2 schreiben?</source>
        <translation>The EPC %1 is already on another transponder of the last inventory. Two transponders would then carry the same EPC.

Write to transponder %2 anyway?</translation>
    </message>
    <message>
        <source> – Daten von Transponder %1</source>
        <translation> – data of transponder %1</translation>
    </message>
    <message>
        <source>Diese Felder zeigen Daten von Transponder %1, nicht vom ausgewählten Transponder.</source>
        <translation>These fields show data of transponder %1, not of the selected transponder.</translation>
    </message>
    <message>
        <source>Anzahl</source>
        <translation>Count</translation>
    </message>
    <message>
        <source>Nutzlänge</source>
        <translation>EPC length</translation>
    </message>
    <message>
        <source>AFI</source>
        <translation>AFI</translation>
    </message>
    <message>
        <source>Länge</source>
        <translation>Length</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>„%1“: Geben Sie eine ganze Zahl ein.</source>
        <translation>“%1”: Please enter a whole number.</translation>
    </message>
    <message>
        <source>„%1“: Geben Sie eine ganze Zahl zwischen %2 und %3 ein.</source>
        <translation>“%1”: Please enter a whole number between %2 and %3.</translation>
    </message>
    <message>
        <source>Schreiben: Ergebnis unbekannt, der Transponder kann verändert sein</source>
        <translation>Write: outcome unknown, the transponder may have been changed</translation>
    </message>
    <message>
        <source>Abgebrochen, nichts geschrieben</source>
        <translation>Cancelled, nothing written</translation>
    </message>
    <message>
        <source>Abgebrochen</source>
        <translation>Cancelled</translation>
    </message>
    <message>
        <source>Fehler beim Auswählen: Der Leser antwortet nicht</source>
        <translation>Error selecting the tag: the reader does not answer</translation>
    </message>
    <message>
        <source>Fehler beim Auswählen</source>
        <translation>Error selecting the tag</translation>
    </message>
    <message>
        <source>Fehler beim Sperren</source>
        <translation>Error locking</translation>
    </message>
    <message>
        <source>Kein Transponder gefunden</source>
        <translation>No transponder found</translation>
    </message>
    <message>
        <source>Transponder gefunden: %1</source>
        <translation>Transponders found: %1</translation>
    </message>
    <message>
        <source>User Memory</source>
        <translation>User memory</translation>
    </message>
    <message>
        <source>Reserved</source>
        <translation>Reserved</translation>
    </message>
    <message>
        <source>Sperren erfolgreich</source>
        <translation>Lock successful</translation>
    </message>
    <message>
        <source>Transponder: %1
Bereich: %2
Schutz: %3</source>
        <translation>Transponder: %1
Area: %2
Protection: %3</translation>
    </message>
    <message>
        <source>Nicht gesperrt</source>
        <translation>Not locked</translation>
    </message>
    <message>
        <source>Das Access-Passwort ist 00000000. Ein Transponder mit diesem Passwort verlangt keines: Jeder Leser kann den Bereich trotz der Sperre ändern. Schreiben Sie zuerst ein anderes Access-Passwort.

Trotzdem sperren?</source>
        <translation>The access password is 00000000. A transponder with this password asks for none: any reader can change the area despite the lock. Write another access password first.

Lock anyway?</translation>
    </message>
    <message>
        <source>„EPC“: %1 Byte, der PC kann höchstens %2 Byte angeben: es wurde nichts geschrieben</source>
        <translation>“EPC”: %1 bytes, the PC can give at most %2 bytes: nothing was written</translation>
    </message>
    <message>
        <source>„Daten“: %1 Byte, höchstens %2 Byte auf einmal: es wurde nichts geschrieben</source>
        <translation>“Data”: %1 bytes, at most %2 bytes at a time: nothing was written</translation>
    </message>
    <message>
        <source>„Länge“: höchstens %1 Byte auf einmal: es wurde nichts geschrieben</source>
        <translation>“Length”: at most %1 bytes at a time: nothing was written</translation>
    </message>
    <message>
        <source>die Daten und dahinter %1 Null-Bytes</source>
        <translation>the data followed by %1 zero bytes</translation>
    </message>
    <message>
        <source>nur die ersten %1 Byte der Daten</source>
        <translation>only the first %1 bytes of the data</translation>
    </message>
    <message>
        <source>Angegebene Datenlänge (%1 Byte) entspricht nicht den eingetragenen Daten (%2 Byte).

Ja: %1 Byte schreiben, %3.
Nein: die %2 Byte der Daten schreiben, „Länge“ wird %2.
Abbrechen: nichts schreiben.</source>
        <translation>The length given (%1 bytes) does not match the data entered (%2 bytes).

Yes: write %1 bytes, %3.
No: write the %2 bytes of the data; “Length” becomes %2.
Cancel: write nothing.</translation>
    </message>
    <message>
        <source>Abgebrochen: %1 von %2 Wörtern geschrieben</source>
        <translation>Cancelled: %1 of %2 words written</translation>
    </message>
    <message>
        <source>Access-Passwort</source>
        <translation>Access password</translation>
    </message>
    <message>
        <source>Kill-Passwort</source>
        <translation>Kill password</translation>
    </message>
    <message>
        <source>Die letzte Inventur hat den EPC %1 auf %2 Transpondern gefunden. Geschrieben wird auf den, der zuerst antwortet. Trotzdem schreiben?</source>
        <translation>The last inventory found the EPC %1 on %2 transponders. The write goes to whichever answers first. Write anyway?</translation>
    </message>
    <message>
        <source>Nichts zu kopieren</source>
        <translation>Nothing to copy</translation>
    </message>
    <message>
        <source>Serie kodieren ...</source>
        <translation>Encode series ...</translation>
    </message>
    <message>
        <source>Der Leser kodiert gerade eine Serie. Halten Sie sie zuerst an („Serie kodieren ...“, „Stopp“).</source>
        <translation>The reader is encoding a series. Stop it first (“Encode series ...”, “Stop”).</translation>
    </message>
    <message>
        <source>Eine Serie wird gerade kodiert. Nach dem laufenden Transponder anhalten und schließen?</source>
        <translation>A series is being encoded. Stop after the transponder in hand and close?</translation>
    </message>
    <message>
        <source>Der Leser kodiert gerade eine Serie</source>
        <translation>The reader is encoding a series</translation>
    </message>
    <message>
        <source>Ursache: %1</source>
        <translation>Cause: %1</translation>
    </message>
    <message>
        <source>Das Gerät gibt es nicht (nicht angeschlossen?)</source>
        <translation>The device does not exist (not plugged in?)</translation>
    </message>
    <message>
        <source>Das Gerät wird von einem anderen Programm benutzt</source>
        <translation>The device is in use by another program</translation>
    </message>
    <message>
        <source>Das ist keine serielle Schnittstelle</source>
        <translation>That is not a serial port</translation>
    </message>
    <message>
        <source>Der Leser hat die Verbindung abgelehnt</source>
        <translation>The reader refused the connection</translation>
    </message>
    <message>
        <source>Keine Verbindung innerhalb der Zeitgrenze</source>
        <translation>No connection within the time limit</translation>
    </message>
</context>
<context>
    <name>kvara::CLanConfig</name>
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
        <source>LAN-Einstellung</source>
        <translation>LAN settings</translation>
    </message>
    <message>
        <source>IP-Adresse automatisch beziehen</source>
        <translation>Obtain an IP address automatically</translation>
    </message>
    <message>
        <source>DHCP-Name:</source>
        <translation>DHCP name:</translation>
    </message>
    <message>
        <source>Folgende IP-Adresse verwenden</source>
        <translation>Use the following IP address</translation>
    </message>
    <message>
        <source>Jede der vier Zahlen liegt zwischen 0 und 255</source>
        <translation>Each of the four numbers lies between 0 and 255</translation>
    </message>
    <message>
        <source>automatisch (DHCP-Name „%1“)</source>
        <translation>automatic (DHCP name “%1”)</translation>
    </message>
    <message>
        <source>Der Leser antwortet unter %1 und hat jetzt:
IP-Adresse: %2
Subnetzmaske: %3
Gateway: %4
Port: %5</source>
        <translation>The reader answers at %1 and now holds:
IP address: %2
Subnet mask: %3
Gateway: %4
Port: %5</translation>
    </message>
    <message>
        <source>IP-Adresse</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>Subnetzmaske</source>
        <translation>Subnet mask</translation>
    </message>
    <message>
        <source>Gateway</source>
        <translation>Gateway</translation>
    </message>
    <message>
        <source>„%1“: Keine gültige IP-Adresse: %2
Vier Zahlen von 0 bis 255, durch Punkte getrennt.</source>
        <translation>“%1”: Not a valid IP address: %2
Four numbers from 0 to 255, separated by dots.</translation>
    </message>
    <message>
        <source>Die Einstellungen konnten nicht bestätigt werden: Der Leser antwortet weder unter %1 noch unter %2. Womöglich hat er die neue Adresse übernommen, die von diesem Rechner aus nicht erreichbar ist. „IP ?“ im Dialog „Schnittstelle“ sucht ihn im Netz.</source>
        <translation>The settings could not be confirmed: the reader answers neither at %1 nor at %2. It may well have taken the new address, which this computer cannot reach. “IP ?” in the “Interface” dialog searches the network for it.</translation>
    </message>
    <message>
        <source>Nicht alle Einstellungen wurden übernommen.</source>
        <translation>Not all settings were taken.</translation>
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
    <message>
        <source>HID-Modus</source>
        <translation>HID mode</translation>
    </message>
    <message>
        <source>VCOM-Modus</source>
        <translation>VCOM mode</translation>
    </message>
</context>
<context>
    <name>kvara::CSeriesDlg</name>
    <message>
        <source>Serie kodieren</source>
        <translation>Encode series</translation>
    </message>
    <message>
        <source>Auftrag</source>
        <translation>Job</translation>
    </message>
    <message>
        <source>Speicher:</source>
        <translation>Store:</translation>
    </message>
    <message>
        <source>SQLite-Datei oder postgresql://…</source>
        <translation>SQLite file or postgresql://…</translation>
    </message>
    <message>
        <source>Station:</source>
        <translation>Station:</translation>
    </message>
    <message>
        <source>Neuer Auftrag:</source>
        <translation>New job:</translation>
    </message>
    <message>
        <source>Name des Auftrags</source>
        <translation>Name of the job</translation>
    </message>
    <message>
        <source>Fortsetzen:</source>
        <translation>Continue:</translation>
    </message>
    <message>
        <source>Aufträge laden</source>
        <translation>Load jobs</translation>
    </message>
    <message>
        <source>Transponder, die sich nicht kodieren lassen, aussortieren und weitermachen</source>
        <translation>Set aside transponders that cannot be encoded and go on</translation>
    </message>
    <message>
        <source>Quelle</source>
        <translation>Source</translation>
    </message>
    <message>
        <source>CSV-Datei:</source>
        <translation>CSV file:</translation>
    </message>
    <message>
        <source>GS1-Vorlage:</source>
        <translation>GS1 template:</translation>
    </message>
    <message>
        <source>GTIN:</source>
        <translation>GTIN:</translation>
    </message>
    <message>
        <source>Stellen der Firmennummer:</source>
        <translation>Company prefix digits:</translation>
    </message>
    <message>
        <source>Firmennummer:</source>
        <translation>Company prefix:</translation>
    </message>
    <message>
        <source>Referenz:</source>
        <translation>Reference:</translation>
    </message>
    <message>
        <source>Filter:</source>
        <translation>Filter:</translation>
    </message>
    <message>
        <source>Seriennummern von:</source>
        <translation>Serials from:</translation>
    </message>
    <message>
        <source>bis:</source>
        <translation>to:</translation>
    </message>
    <message>
        <source>Für jeden Transponder</source>
        <translation>For every transponder</translation>
    </message>
    <message>
        <source>User-Daten:</source>
        <translation>User data:</translation>
    </message>
    <message>
        <source>Hex, ganze Worte; leer: nicht schreiben</source>
        <translation>Hex, whole words; empty: not written</translation>
    </message>
    <message>
        <source>Access-Passwort:</source>
        <translation>Access password:</translation>
    </message>
    <message>
        <source>Kill-Passwort:</source>
        <translation>Kill password:</translation>
    </message>
    <message>
        <source>Sperren</source>
        <translation>Locks</translation>
    </message>
    <message>
        <source>nicht ändern</source>
        <translation>leave as it is</translation>
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
        <source>EPC-Speicher:</source>
        <translation>EPC memory:</translation>
    </message>
    <message>
        <source>TID-Speicher:</source>
        <translation>TID memory:</translation>
    </message>
    <message>
        <source>User-Speicher:</source>
        <translation>User memory:</translation>
    </message>
    <message>
        <source>Fortschritt</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>Bereit.</source>
        <translation>Ready.</translation>
    </message>
    <message>
        <source>Geschrieben:</source>
        <translation>Written:</translation>
    </message>
    <message>
        <source>Fehlgeschlagen:</source>
        <translation>Failed:</translation>
    </message>
    <message>
        <source>Unsicher:</source>
        <translation>Uncertain:</translation>
    </message>
    <message>
        <source>Aussortiert:</source>
        <translation>Set aside:</translation>
    </message>
    <message>
        <source>Offen:</source>
        <translation>Left:</translation>
    </message>
    <message>
        <source>Transponder/min:</source>
        <translation>Transponders/min:</translation>
    </message>
    <message>
        <source>Letzter Transponder:</source>
        <translation>Last transponder:</translation>
    </message>
    <message>
        <source>Seriennummer</source>
        <translation>Serial</translation>
    </message>
    <message>
        <source>EPC</source>
        <translation>EPC</translation>
    </message>
    <message>
        <source>Ergebnis</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Stopp</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>Bericht als CSV speichern ...</source>
        <translation>Save report as CSV ...</translation>
    </message>
    <message>
        <source>Schließen</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Fortsetzen</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>Auftragsspeicher</source>
        <translation>Job store</translation>
    </message>
    <message>
        <source>SQLite-Dateien (*.db);;Alle Dateien (*)</source>
        <translation>SQLite files (*.db);;All files (*)</translation>
    </message>
    <message>
        <source>CSV-Datei</source>
        <translation>CSV file</translation>
    </message>
    <message>
        <source>CSV-Dateien (*.csv);;Alle Dateien (*)</source>
        <translation>CSV files (*.csv);;All files (*)</translation>
    </message>
    <message>
        <source>Der Auftragsspeicher ist nicht erreichbar: %1</source>
        <translation>The job store cannot be reached: %1</translation>
    </message>
    <message>
        <source>%1 – %2 von %3 geschrieben</source>
        <translation>%1 – %2 of %3 written</translation>
    </message>
    <message>
        <source>Im Speicher steht noch kein Auftrag.</source>
        <translation>The store holds no job yet.</translation>
    </message>
    <message>
        <source>Der Auftrag „%1“ sperrt Bereiche jedes Transponders permanent oder gibt sie permanent frei.

Diese Einstellung kann am Transponder nie wieder geändert werden. Wirklich ausführen?</source>
        <translation>The job “%1” permanently locks or permanently unlocks areas of every transponder.

This setting can never be changed on the transponder again. Really carry it out?</translation>
    </message>
    <message>
        <source>Nicht gestartet.</source>
        <translation>Not started.</translation>
    </message>
    <message>
        <source>Kein Gerät geöffnet, bitte zuerst Gerät auswählen!</source>
        <translation>No device open, please select a device first!</translation>
    </message>
    <message>
        <source>Geben Sie den Auftragsspeicher an: eine SQLite-Datei oder eine postgresql://-Adresse.</source>
        <translation>Enter the job store: a SQLite file or a postgresql:// address.</translation>
    </message>
    <message>
        <source>Wählen Sie einen Auftrag aus dem Speicher („Aufträge laden“).</source>
        <translation>Choose a job from the store (“Load jobs”).</translation>
    </message>
    <message>
        <source>Das Hauptfenster arbeitet gerade mit dem Leser (zyklische Inventur oder eine laufende Operation). Beenden Sie das und drücken Sie noch einmal „Start“.</source>
        <translation>The main window is working with the reader (cyclic inventory or an operation in progress). End that and press “Start” again.</translation>
    </message>
    <message>
        <source>Der Auftrag wird geöffnet …</source>
        <translation>Opening the job …</translation>
    </message>
    <message>
        <source>Pause nach dem laufenden Transponder …</source>
        <translation>Pausing after the transponder in hand …</translation>
    </message>
    <message>
        <source>Wird nach dem laufenden Transponder angehalten …</source>
        <translation>Stopping after the transponder in hand …</translation>
    </message>
    <message>
        <source>Noch kein Auftrag: Starten Sie einen, oder wählen Sie einen aus dem Speicher („Aufträge laden“).</source>
        <translation>No job yet: start one, or choose one from the store (“Load jobs”).</translation>
    </message>
    <message>
        <source>Bericht als CSV speichern</source>
        <translation>Save report as CSV</translation>
    </message>
    <message>
        <source>Die Datei %1 konnte nicht gespeichert werden: %2</source>
        <translation>The file %1 could not be saved: %2</translation>
    </message>
    <message>
        <source>Bericht gespeichert: %1</source>
        <translation>Report saved: %1</translation>
    </message>
    <message>
        <source>Läuft: Die Transponder kommen nacheinander ins Feld.</source>
        <translation>Running: the transponders come into the field one after another.</translation>
    </message>
    <message>
        <source>Seriennummer %1 · EPC %2 · TID %3 · %4</source>
        <translation>Serial %1 · EPC %2 · TID %3 · %4</translation>
    </message>
    <message>
        <source>Läuft.</source>
        <translation>Running.</translation>
    </message>
    <message>
        <source>Warte auf den nächsten Transponder: seit %1 s kein neuer im Feld.</source>
        <translation>Waiting for the next transponder: no new one in the field for %1 s.</translation>
    </message>
    <message>
        <source>Pause. „Fortsetzen“ macht weiter; der Leser bleibt für die Serie reserviert.</source>
        <translation>Paused. “Resume” goes on; the reader stays reserved for the series.</translation>
    </message>
    <message>
        <source>Serie „%1“: %2 von %3 geschrieben, %4 fehlgeschlagen, %5 unsicher, %6 aussortiert, %7 offen</source>
        <translation>Series “%1”: %2 of %3 written, %4 failed, %5 uncertain, %6 set aside, %7 left</translation>
    </message>
    <message>
        <source>Die Serie läuft noch. Nach dem laufenden Transponder anhalten und schließen?</source>
        <translation>The series is still running. Stop after the transponder in hand and close?</translation>
    </message>
    <message>
        <source>8, 12, 13 oder 14 Ziffern</source>
        <translation>8, 12, 13 or 14 digits</translation>
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
    <message>
        <source>Kill-Passwort</source>
        <translation>Kill password</translation>
    </message>
    <message>
        <source>Access-Passwort</source>
        <translation>Access password</translation>
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
        <source>Schließen</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Gespeichert: %1 dBm</source>
        <translation>Stored: %1 dBm</translation>
    </message>
    <message>
        <source>Gespeichert, aber nicht bestätigt: der Leser meldet eine andere Sendeleistung</source>
        <translation>Stored, but not confirmed: the reader reports another transmit power</translation>
    </message>
</context>
<context>
    <name>kvara::SeriesJob</name>
    <message>
        <source>Die User-Daten sind kein Hex in ganzen Worten (je 4 Ziffern).</source>
        <translation>The User data are not hex in whole words (4 digits each).</translation>
    </message>
    <message>
        <source>Das Access-Passwort muss 4 Byte lang sein.</source>
        <translation>The access password must be 4 bytes long.</translation>
    </message>
    <message>
        <source>Das Kill-Passwort muss 4 Byte lang sein.</source>
        <translation>The kill password must be 4 bytes long.</translation>
    </message>
    <message>
        <source>Eine Sperre per Passwort braucht ein Access-Passwort außer 00000000: Ohne verlangt der Transponder keines.</source>
        <translation>A lock by password needs an access password other than 00000000: without one the transponder asks for none.</translation>
    </message>
    <message>
        <source>Geben Sie dem Auftrag einen Namen.</source>
        <translation>Give the job a name.</translation>
    </message>
    <message>
        <source>Die CSV-Datei „%1“ lässt sich nicht lesen.</source>
        <translation>The CSV file “%1” cannot be read.</translation>
    </message>
    <message>
        <source>Die CSV-Datei passt nicht: %1</source>
        <translation>The CSV file does not fit: %1</translation>
    </message>
    <message>
        <source>Die Vorlage ergibt keine Zeilen: %1</source>
        <translation>The template makes no rows: %1</translation>
    </message>
</context>
<context>
    <name>kvara::SeriesTexts</name>
    <message>
        <source>Zeile %1: %2</source>
        <translation>line %1: %2</translation>
    </message>
    <message>
        <source>Seriennummer %1: %2</source>
        <translation>serial %1: %2</translation>
    </message>
    <message>
        <source>ein Anführungszeichen wird geöffnet und nie geschlossen</source>
        <translation>a quote is opened and never closed</translation>
    </message>
    <message>
        <source>die CSV-Datei ist leer</source>
        <translation>the CSV file is empty</translation>
    </message>
    <message>
        <source>die CSV-Datei hat eine Kopfzeile, aber keine Zeilen darunter</source>
        <translation>the CSV file has a header line but no rows below it</translation>
    </message>
    <message>
        <source>unbekannte Spalte „%1“ (gemeint ist wohl „%2“); die Spalten heißen %3</source>
        <translation>unknown column “%1” (did you mean “%2”?); the columns are %3</translation>
    </message>
    <message>
        <source>unbekannte Spalte „%1“; die Spalten heißen %2</source>
        <translation>unknown column “%1”; the columns are %2</translation>
    </message>
    <message>
        <source>die CSV-Datei braucht eine Spalte epc oder die Spalten gtin und serial</source>
        <translation>the CSV file needs an epc column, or the columns gtin and serial</translation>
    </message>
    <message>
        <source>der EPC „%1“ ist nicht 2 bis 62 Byte Hex in ganzen Worten</source>
        <translation>the EPC “%1” is not 2 to 62 bytes of hex in whole words</translation>
    </message>
    <message>
        <source>der Filter „%1“ ist keine Zahl von 0 bis 7</source>
        <translation>the filter “%1” is not a number from 0 to 7</translation>
    </message>
    <message>
        <source>company_prefix_length „%1“ ist keine Zahl von 6 bis 12</source>
        <translation>company_prefix_length “%1” is not a number from 6 to 12</translation>
    </message>
    <message>
        <source>bits „%1“ ist weder 96 noch 198</source>
        <translation>bits “%1” is neither 96 nor 198</translation>
    </message>
    <message>
        <source>die User-Daten „%1“ sind kein Hex in ganzen Worten</source>
        <translation>the User data “%1” are not hex in whole words</translation>
    </message>
    <message>
        <source>das Access-Passwort ist nicht 4 Byte Hex</source>
        <translation>the access password is not 4 bytes of hex</translation>
    </message>
    <message>
        <source>das Kill-Passwort ist nicht 4 Byte Hex</source>
        <translation>the kill password is not 4 bytes of hex</translation>
    </message>
    <message>
        <source>die Sperre „%1“ ist nicht BEREICH:AKTION %2</source>
        <translation>the lock “%1” is not AREA:ACTION %2</translation>
    </message>
    <message>
        <source>die Sperre „%1“ lässt sich am Transponder nie wieder aufheben</source>
        <translation>the lock “%1” can never be undone on the transponder</translation>
    </message>
    <message>
        <source>eine Sperre per Passwort braucht ein Access-Passwort (Spalte access) außer 00000000</source>
        <translation>a lock by password needs an access password (column access) other than 00000000</translation>
    </message>
    <message>
        <source>die Zeilen %1 und %2 haben denselben EPC %3</source>
        <translation>rows %1 and %2 have the same EPC %3</translation>
    </message>
    <message>
        <source>die Zeilen %1 und %2 nennen denselben Artikel %3</source>
        <translation>rows %1 and %2 name the same item %3</translation>
    </message>
    <message>
        <source>kein Schema „%1“</source>
        <translation>no scheme “%1”</translation>
    </message>
    <message>
        <source>die Seriennummern „%1“ sind nicht VON-BIS (höchstens zehn Millionen)</source>
        <translation>the serials “%1” are not FROM-TO (at most ten million)</translation>
    </message>
    <message>
        <source>der Auftrag „%1“ steht schon mit einer anderen Quelle oder anderen Daten im Speicher; wählen Sie einen anderen Namen</source>
        <translation>the job “%1” is already in the store with another source or other data; choose another name</translation>
    </message>
    <message>
        <source>es gibt keinen Auftrag „%1“</source>
        <translation>there is no job “%1”</translation>
    </message>
    <message>
        <source>%1 lässt sich nicht öffnen: %2</source>
        <translation>%1 cannot be opened: %2</translation>
    </message>
    <message>
        <source>keine Verbindung zur Datenbank: %1</source>
        <translation>no connection to the database: %1</translation>
    </message>
    <message>
        <source>der Transponder liest sich nicht so zurück, wie er beschrieben wurde</source>
        <translation>the transponder does not read back as it was written</translation>
    </message>
    <message>
        <source>der Leser antwortet nicht</source>
        <translation>the reader does not answer</translation>
    </message>
    <message>
        <source>die Antwort des Lesers kam gestört an</source>
        <translation>the reader’s answer arrived garbled</translation>
    </message>
    <message>
        <source>kein Leser verbunden</source>
        <translation>no reader connected</translation>
    </message>
    <message>
        <source>der Leser ist aus dem Takt (eine späte Antwort kam dazwischen)</source>
        <translation>the reader is out of step (a late answer came in between)</translation>
    </message>
    <message>
        <source>kein Transponder antwortet</source>
        <translation>no transponder answers</translation>
    </message>
    <message>
        <source>mehrere Transponder antworten zugleich</source>
        <translation>several transponders answer at once</translation>
    </message>
    <message>
        <source>der Speicher des Transponders ist dafür zu klein</source>
        <translation>the transponder’s memory is too small for it</translation>
    </message>
    <message>
        <source>der Speicherbereich ist gesperrt</source>
        <translation>the memory area is locked</translation>
    </message>
    <message>
        <source>falsches Passwort</source>
        <translation>wrong password</translation>
    </message>
    <message>
        <source>der Leser nimmt den Wert nicht an</source>
        <translation>the reader does not accept the value</translation>
    </message>
    <message>
        <source>Kill-Passwort</source>
        <translation>kill password</translation>
    </message>
    <message>
        <source>Access-Passwort</source>
        <translation>access password</translation>
    </message>
    <message>
        <source>EPC-Speicher</source>
        <translation>EPC memory</translation>
    </message>
    <message>
        <source>TID-Speicher</source>
        <translation>TID memory</translation>
    </message>
    <message>
        <source>User-Speicher</source>
        <translation>User memory</translation>
    </message>
    <message>
        <source>Bereich %1</source>
        <translation>area %1</translation>
    </message>
    <message>
        <source>die User-Daten</source>
        <translation>the User data</translation>
    </message>
    <message>
        <source>das Kill-Passwort</source>
        <translation>the kill password</translation>
    </message>
    <message>
        <source>das Access-Passwort</source>
        <translation>the access password</translation>
    </message>
    <message>
        <source>die Sperre von %1</source>
        <translation>the lock of the %1</translation>
    </message>
    <message>
        <source>der Rest der Zeile</source>
        <translation>the rest of the row</translation>
    </message>
    <message>
        <source>geschrieben</source>
        <translation>written</translation>
    </message>
    <message>
        <source>aussortiert</source>
        <translation>set aside</translation>
    </message>
    <message>
        <source>nicht geschrieben</source>
        <translation>not written</translation>
    </message>
    <message>
        <source>unsicher</source>
        <translation>uncertain</translation>
    </message>
    <message>
        <source>geschrieben: der EPC kam in einem früheren Lauf auf den Transponder, der Rest der Zeile jetzt</source>
        <translation>written: the EPC went onto the transponder in an earlier run, the rest of the row now</translation>
    </message>
    <message>
        <source>nicht geschrieben: der Transponder behält den EPC nicht; die Zeile geht an den nächsten</source>
        <translation>not written: the transponder does not keep the EPC; the row goes to the next one</translation>
    </message>
    <message>
        <source>nicht geschrieben: %1; die Zeile geht an den nächsten</source>
        <translation>not written: %1; the row goes to the next one</translation>
    </message>
    <message>
        <source>unsicher: %1 – der EPC kann auf dem Transponder sein und geht an keinen anderen</source>
        <translation>uncertain: %1 – the EPC may be on the transponder and goes to no other</translation>
    </message>
    <message>
        <source>aussortiert: trägt schon einen EPC dieses Auftrags und wird nicht überschrieben</source>
        <translation>set aside: it already carries an EPC of this job and is not overwritten</translation>
    </message>
    <message>
        <source>aussortiert: seine TID ist nicht lesbar (%1)</source>
        <translation>set aside: its TID cannot be read (%1)</translation>
    </message>
    <message>
        <source>aussortiert: der EPC ist geschrieben, %1 nicht – %2</source>
        <translation>set aside: the EPC is written, %1 is not – %2</translation>
    </message>
    <message>
        <source>Der Auftrag ist fertig: Keine Zeile ist mehr offen.</source>
        <translation>The job is done: no row is left open.</translation>
    </message>
    <message>
        <source>Angehalten. „Start“ setzt den Auftrag fort.</source>
        <translation>Stopped. “Start” continues the job.</translation>
    </message>
    <message>
        <source>Kein neuer Transponder im Feld.</source>
        <translation>No new transponder in the field.</translation>
    </message>
    <message>
        <source>Zwei Transponder im Feld tragen denselben EPC; nichts geschrieben. Nehmen Sie einen heraus und drücken Sie „Start“.</source>
        <translation>Two transponders in the field carry the same EPC; nothing written. Take one out and press “Start”.</translation>
    </message>
    <message>
        <source>Mehrere neue Transponder zugleich im Feld; nichts geschrieben. Lassen Sie nur einen im Feld und drücken Sie „Start“.</source>
        <translation>Several new transponders in the field at once; nothing written. Leave only one in the field and press “Start”.</translation>
    </message>
    <message>
        <source>Angehalten bei einem Transponder, der sich nicht kodieren ließ: %1</source>
        <translation>Stopped at a transponder that could not be encoded: %1</translation>
    </message>
    <message>
        <source>Der Leser hat die Serie angehalten: %1</source>
        <translation>The reader stopped the series: %1</translation>
    </message>
    <message>
        <source>Der Auftragsspeicher ist nicht erreichbar oder kann nicht schreiben: %1</source>
        <translation>The job store cannot be reached or cannot write: %1</translation>
    </message>
</context>
</TS>
