<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>QObject</name>
    <message>
        <source>This window is not available in this version.</source>
        <translation>Dieses Fenster gibt es in dieser Version nicht.</translation>
    </message>
</context>
<context>
    <name>kestrin::TFormMain</name>
    <message>
        <source>µC Programmer over Veltro</source>
        <translation>µC-Programmierer über Veltro</translation>
    </message>
    <message>
        <source>&amp;File...</source>
        <translation>&amp;Datei...</translation>
    </message>
    <message>
        <source>Choose file to write to µController</source>
        <translation>Datei wählen, die in den µController geschrieben wird</translation>
    </message>
    <message>
        <source>&amp;Connect</source>
        <translation>&amp;Verbinden</translation>
    </message>
    <message>
        <source>Open serial port and connect to Veltro</source>
        <translation>Serielle Schnittstelle öffnen und mit dem Veltro verbinden</translation>
    </message>
    <message>
        <source>&amp;Options...</source>
        <translation>&amp;Optionen...</translation>
    </message>
    <message>
        <source>Setup serial port and verify</source>
        <translation>Schnittstelle und Prüfung einstellen</translation>
    </message>
    <message>
        <source>About this program and the Veltro</source>
        <translation>Über dieses Programm und den Veltro</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Exit program</source>
        <translation>Programm beenden</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Reload &amp;&amp; &amp;Write</source>
        <translation>Neu laden &amp;&amp; &amp;Schreiben</translation>
    </message>
    <message>
        <source>Reload choosen file and write to µController</source>
        <translation>Gewählte Datei neu laden und in den µController schreiben</translation>
    </message>
    <message>
        <source>&amp;Reset</source>
        <translation>&amp;Reset</translation>
    </message>
    <message>
        <source>reset pulse 100ms for connected microcontroller</source>
        <translation>Reset-Impuls von 100 ms für den angeschlossenen Mikrocontroller</translation>
    </message>
    <message>
        <source>&amp;Hex...</source>
        <translation>&amp;Hex...</translation>
    </message>
    <message>
        <source>read &amp; write microcontroller with hex dump view</source>
        <translation>Mikrocontroller in der Hex-Ansicht lesen und schreiben</translation>
    </message>
    <message>
        <source>&amp;program memory (Flash)</source>
        <translation>Pro&amp;grammspeicher (Flash)</translation>
    </message>
    <message>
        <source>write into Flash memory</source>
        <translation>in den Flash-Speicher schreiben</translation>
    </message>
    <message>
        <source>&amp;data memory (E²PROM)</source>
        <translation>Date&amp;nspeicher (E²PROM)</translation>
    </message>
    <message>
        <source>write into E²PROM memory</source>
        <translation>in den E²PROM-Speicher schreiben</translation>
    </message>
    <message>
        <source>&amp;Start address:</source>
        <translation>S&amp;tartadresse:</translation>
    </message>
    <message>
        <source>first address for writing data</source>
        <translation>erste Adresse, ab der geschrieben wird</translation>
    </message>
    <message>
        <source>Start address up by %1</source>
        <translation>Startadresse um %1 erhöhen</translation>
    </message>
    <message>
        <source>Start address down by %1</source>
        <translation>Startadresse um %1 verringern</translation>
    </message>
    <message>
        <source>&amp;Verify</source>
        <translation>&amp;Prüfen</translation>
    </message>
    <message>
        <source>read data after write and verify</source>
        <translation>nach dem Schreiben zurücklesen und vergleichen</translation>
    </message>
    <message>
        <source>&amp;Backup</source>
        <translation>Si&amp;chern</translation>
    </message>
    <message>
        <source>Backup/restore EEPROM/flash contents</source>
        <translation>Inhalt von E²PROM/Flash sichern und zurückschreiben</translation>
    </message>
    <message>
        <source>File name:</source>
        <translation>Dateiname:</translation>
    </message>
    <message>
        <source>Data size:</source>
        <translation>Datengröße:</translation>
    </message>
    <message>
        <source>File format:</source>
        <translation>Dateiformat:</translation>
    </message>
    <message>
        <source>Profile:</source>
        <translation>Profil:</translation>
    </message>
    <message>
        <source>Write / read progress:</source>
        <translation>Fortschritt Schreiben / Lesen:</translation>
    </message>
    <message>
        <source>%1 (next serial number: %2)</source>
        <translation>%1 (nächste Seriennummer: %2)</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Stopp</translation>
    </message>
    <message>
        <source>Stop the running write (Esc); a backup is still written back</source>
        <translation>Laufendes Schreiben anhalten (Esc); eine Sicherung wird noch zurückgeschrieben</translation>
    </message>
    <message>
        <source>opened</source>
        <translation>geöffnet</translation>
    </message>
    <message>
        <source>closed</source>
        <translation>geschlossen</translation>
    </message>
    <message>
        <source>&amp;copy settings as command line parameters into clipboard</source>
        <translation>Einstellungen als Befehlszeilenparameter in die Zwischenablage &amp;kopieren</translation>
    </message>
    <message>
        <source>&amp;view command line parameters</source>
        <translation>Befehlszeilenparameter &amp;anzeigen</translation>
    </message>
    <message>
        <source>Reload &amp;&amp; Write</source>
        <translation>Neu laden &amp;&amp; Schreiben</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>A run is going: wait for it to end or stop it (Esc)</source>
        <translation>Ein Lauf ist im Gang: warten oder anhalten (Esc)</translation>
    </message>
    <message>
        <source>No file chosen: choose one with File...</source>
        <translation>Keine Datei gewählt: mit Datei... eine wählen</translation>
    </message>
    <message>
        <source>Not connected: connect to the Veltro with Connect</source>
        <translation>Nicht verbunden: mit Verbinden zum Veltro verbinden</translation>
    </message>
    <message>
        <source>start address: 0000h … %1</source>
        <translation>Startadresse: 0000h … %1</translation>
    </message>
    <message>
        <source>Choose file for later reload &amp; write</source>
        <translation>Datei für späteres Neuladen und Schreiben wählen</translation>
    </message>
    <message>
        <source>Copied: add /S=1 to write unattended</source>
        <translation>Kopiert: mit /S=1 ergänzt schreibt es unbeaufsichtigt</translation>
    </message>
    <message>
        <source>The backup file %1.</source>
        <translation>Die Sicherungsdatei %1.</translation>
    </message>
    <message>
        <source>A write was cut off before it could put a backup back into the chip: %1.</source>
        <translation>Ein Schreibvorgang wurde abgebrochen, bevor er eine Sicherung in den Chip zurückschreiben konnte: %1.</translation>
    </message>
    <message>
        <source>%1

Write it back into the attached chip now?</source>
        <translation>%1

Jetzt in den angeschlossenen Chip zurückschreiben?</translation>
    </message>
    <message>
        <source>Connect to Veltro first. The backup stays where it is.</source>
        <translation>Zuerst mit dem Veltro verbinden. Die Sicherung bleibt, wo sie ist.</translation>
    </message>
    <message>
        <source>%1

Save it as a binary file elsewhere?</source>
        <translation>%1

Als Binärdatei an anderer Stelle speichern?</translation>
    </message>
    <message>
        <source>Save backup of the %1</source>
        <translation>Sicherung des %1 speichern</translation>
    </message>
    <message>
        <source>Can&apos;t write file! %1</source>
        <translation>Datei kann nicht geschrieben werden! %1</translation>
    </message>
    <message>
        <source>A write is running. Stop it? The window closes when the write has ended.</source>
        <translation>Ein Schreibvorgang läuft. Anhalten? Das Fenster schließt, sobald er beendet ist.</translation>
    </message>
    <message>
        <source>COM interface can&apos;t be opened</source>
        <translation>Serielle Schnittstelle kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Veltro not connected</source>
        <translation>Veltro nicht angeschlossen</translation>
    </message>
    <message>
        <source>firmware not supported</source>
        <translation>Firmware wird nicht unterstützt</translation>
    </message>
    <message>
        <source>Veltro.dll not found</source>
        <translation>Veltro.dll nicht gefunden</translation>
    </message>
    <message>
        <source>no COM interface present</source>
        <translation>keine serielle Schnittstelle vorhanden</translation>
    </message>
    <message>
        <source>error at opening file</source>
        <translation>Fehler beim Öffnen der Datei</translation>
    </message>
    <message>
        <source>file is empty</source>
        <translation>Datei ist leer</translation>
    </message>
    <message>
        <source>checksum error</source>
        <translation>Prüfsummenfehler</translation>
    </message>
    <message>
        <source>file exceeds 256 kByte</source>
        <translation>Datei größer als 256 kByte</translation>
    </message>
    <message>
        <source>(no file selected)</source>
        <translation>(keine Datei gewählt)</translation>
    </message>
    <message>
        <source>Erase the chip and write the file? Everything the chip holds is lost.</source>
        <translation>Den Chip löschen und die Datei schreiben? Alles, was der Chip enthält, geht verloren.</translation>
    </message>
</context>
<context>
    <name>kestrin::FileTypes</name>
    <message>
        <source>binary files</source>
        <translation>Binärdateien</translation>
    </message>
    <message>
        <source>intel hex</source>
        <translation>Intel HEX</translation>
    </message>
    <message>
        <source>any binary file</source>
        <translation>jede Binärdatei</translation>
    </message>
    <message>
        <source>Motorola S-record</source>
        <translation>Motorola S-Record</translation>
    </message>
    <message>
        <source>ELF</source>
        <translation>ELF</translation>
    </message>
</context>
<context>
    <name>kestrin::FuseBitMeaning</name>
    <message>
        <source>clock source</source>
        <translation>Taktquelle</translation>
    </message>
    <message>
        <source>start-up time after reset</source>
        <translation>Anlaufzeit nach Reset</translation>
    </message>
    <message>
        <source>divide the clock by 8</source>
        <translation>Takt durch 8 teilen</translation>
    </message>
    <message>
        <source>clock output on the CLKO pin</source>
        <translation>Taktausgabe am Pin CLKO</translation>
    </message>
    <message>
        <source>oscillator option (full swing, higher frequency)</source>
        <translation>Oszillatoroption (voller Hub, höhere Frequenz)</translation>
    </message>
    <message>
        <source>brown-out detector trigger level</source>
        <translation>Auslöseschwelle der Unterspannungserkennung</translation>
    </message>
    <message>
        <source>brown-out detector enabled</source>
        <translation>Unterspannungserkennung an</translation>
    </message>
    <message>
        <source>brown-out detector in active mode</source>
        <translation>Unterspannungserkennung im aktiven Betrieb</translation>
    </message>
    <message>
        <source>brown-out detector in sleep modes</source>
        <translation>Unterspannungserkennung in Schlafmodi</translation>
    </message>
    <message>
        <source>E²PROM kept through chip erase</source>
        <translation>E²PROM bleibt beim Löschen des Chips erhalten</translation>
    </message>
    <message>
        <source>watchdog timer always on</source>
        <translation>Watchdog-Timer immer an</translation>
    </message>
    <message>
        <source>serial programming enabled</source>
        <translation>serielle Programmierung an</translation>
    </message>
    <message>
        <source>debugWIRE enabled (takes the reset pin)</source>
        <translation>debugWIRE an (belegt den Reset-Pin)</translation>
    </message>
    <message>
        <source>reset pin becomes an I/O pin (ends serial programming)</source>
        <translation>Reset-Pin wird E/A-Pin (beendet die serielle Programmierung)</translation>
    </message>
    <message>
        <source>self-programming (SPM) enabled</source>
        <translation>Selbstprogrammierung (SPM) an</translation>
    </message>
    <message>
        <source>external clock input enabled</source>
        <translation>Eingang für externen Takt an</translation>
    </message>
    <message>
        <source>clock start-up behaviour</source>
        <translation>Anlaufverhalten des Takts</translation>
    </message>
    <message>
        <source>PLL as the system clock</source>
        <translation>PLL als Systemtakt</translation>
    </message>
    <message>
        <source>ultra-low-power oscillator frequency</source>
        <translation>Frequenz des Ultra-Low-Power-Oszillators</translation>
    </message>
    <message>
        <source>32 kHz oscillator enabled</source>
        <translation>32-kHz-Oszillator an</translation>
    </message>
    <message>
        <source>E²PROM access mode</source>
        <translation>Zugriffsart des E²PROM</translation>
    </message>
    <message>
        <source>E²PROM protection</source>
        <translation>Schutz des E²PROM</translation>
    </message>
    <message>
        <source>PSC input reset behaviour</source>
        <translation>Reset-Verhalten der PSC-Eingänge</translation>
    </message>
    <message>
        <source>PSC output reset value</source>
        <translation>Reset-Wert der PSC-Ausgänge</translation>
    </message>
    <message>
        <source>reserved: keep the value read</source>
        <translation>reserviert: gelesenen Wert behalten</translation>
    </message>
    <message>
        <source>E²PROM locked</source>
        <translation>E²PROM gesperrt</translation>
    </message>
    <message>
        <source>fast RC oscillator frequency select</source>
        <translation>Frequenzwahl des schnellen RC-Oszillators</translation>
    </message>
    <message>
        <source>temperature shutdown reset disabled</source>
        <translation>Reset bei Übertemperatur aus</translation>
    </message>
    <message>
        <source>watchdog reset configuration</source>
        <translation>Einstellung des Watchdog-Resets</translation>
    </message>
    <message>
        <source>boot section size</source>
        <translation>Größe des Boot-Bereichs</translation>
    </message>
    <message>
        <source>start at the boot loader after reset</source>
        <translation>nach Reset im Bootloader starten</translation>
    </message>
    <message>
        <source>JTAG interface enabled</source>
        <translation>JTAG-Schnittstelle an</translation>
    </message>
    <message>
        <source>on-chip debugging enabled</source>
        <translation>On-Chip-Debugging an</translation>
    </message>
    <message>
        <source>lock of the application section</source>
        <translation>Sperre des Anwendungsbereichs</translation>
    </message>
    <message>
        <source>lock of the boot section</source>
        <translation>Sperre des Boot-Bereichs</translation>
    </message>
    <message>
        <source>memory lock (programmed: no reading back, no writing)</source>
        <translation>Speichersperre (programmiert: kein Zurücklesen, kein Schreiben)</translation>
    </message>
    <message>
        <source>hardware boot pin enabled</source>
        <translation>Hardware-Boot-Pin an</translation>
    </message>
    <message>
        <source>PSC outputs on reset</source>
        <translation>PSC-Ausgänge bei Reset</translation>
    </message>
    <message>
        <source>PSC0 reset behaviour</source>
        <translation>Reset-Verhalten von PSC0</translation>
    </message>
    <message>
        <source>PSC1 reset behaviour</source>
        <translation>Reset-Verhalten von PSC1</translation>
    </message>
    <message>
        <source>PSC2 reset behaviour</source>
        <translation>Reset-Verhalten von PSC2</translation>
    </message>
    <message>
        <source>AT90S8515 compatibility mode</source>
        <translation>AT90S8515-Kompatibilitätsmodus</translation>
    </message>
    <message>
        <source>AT90S8535 compatibility mode</source>
        <translation>AT90S8535-Kompatibilitätsmodus</translation>
    </message>
    <message>
        <source>ATmega103 compatibility mode</source>
        <translation>ATmega103-Kompatibilitätsmodus</translation>
    </message>
    <message>
        <source>ATmega161 compatibility mode</source>
        <translation>ATmega161-Kompatibilitätsmodus</translation>
    </message>
</context>
<context>
    <name>kestrin::Messages</name>
    <message>
        <source>Can&apos;t open file!</source>
        <translation>Datei kann nicht geöffnet werden!</translation>
    </message>
    <message>
        <source>File is empty!</source>
        <translation>Datei ist leer!</translation>
    </message>
    <message>
        <source>File size exceeds memory range with given start address!</source>
        <translation>Die Datei ist mit dieser Startadresse größer als der Speicherbereich!</translation>
    </message>
    <message>
        <source>Nothing to read: the size is 0!</source>
        <translation>Nichts zu lesen: die Größe ist 0!</translation>
    </message>
    <message>
        <source>Invalid profile information is corrected!</source>
        <translation>Ungültige Profilangaben wurden korrigiert!</translation>
    </message>
    <message>
        <source>Verify failed</source>
        <translation>Vergleich fehlgeschlagen</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>failed</source>
        <translation>fehlgeschlagen</translation>
    </message>
    <message>
        <source>no device</source>
        <translation>kein Gerät</translation>
    </message>
    <message>
        <source>stopped</source>
        <translation>angehalten</translation>
    </message>
    <message>
        <source>file is empty</source>
        <translation>Datei ist leer</translation>
    </message>
    <message>
        <source>the adapter went away during the run</source>
        <translation>der Adapter ist während des Laufs verschwunden</translation>
    </message>
    <message>
        <source>the target did not hold the byte written</source>
        <translation>das Ziel hat das geschriebene Byte nicht behalten</translation>
    </message>
    <message>
        <source>the backup read back differently after it was written back</source>
        <translation>die Sicherung liest sich nach dem Zurückschreiben anders zurück</translation>
    </message>
    <message>
        <source>the read gave fewer bytes than asked for</source>
        <translation>das Lesen lieferte weniger Bytes als verlangt</translation>
    </message>
    <message>
        <source>not connected to the adapter</source>
        <translation>nicht mit dem Adapter verbunden</translation>
    </message>
    <message>
        <source>a signature no known part has</source>
        <translation>eine Signatur, die kein bekannter Baustein hat</translation>
    </message>
    <message>
        <source>another chip answers than the one the bits were read from</source>
        <translation>es antwortet ein anderer Chip als der, von dem die Bits gelesen wurden</translation>
    </message>
    <message>
        <source>the chip reads back other bits than were written</source>
        <translation>der Chip liest andere Bits zurück als geschrieben wurden</translation>
    </message>
    <message>
        <source>This file holds Intel HEX records. Write it as Intel HEX?</source>
        <translation>Diese Datei enthält Intel-HEX-Datensätze. Als Intel HEX schreiben?</translation>
    </message>
    <message>
        <source>This file holds Motorola S-records. Write it as Motorola S-record?</source>
        <translation>Diese Datei enthält Motorola-S-Records. Als Motorola S-Record schreiben?</translation>
    </message>
    <message>
        <source>This file holds an ELF program. Write it as ELF?</source>
        <translation>Diese Datei enthält ein ELF-Programm. Als ELF schreiben?</translation>
    </message>
    <message>
        <source>The chip answers, but its signature reads 00 00 00: an AT90S with both lock bits programmed. Only a chip erase unlocks it.</source>
        <translation>Der Chip antwortet, aber seine Signatur lautet 00 00 00: ein AT90S mit beiden Lock-Bits programmiert. Nur ein Löschen des Chips entsperrt ihn.</translation>
    </message>
    <message>
        <source>the file holds no fuse or lock values</source>
        <translation>die Datei enthält keine Fuse- oder Lock-Werte</translation>
    </message>
    <message>
        <source>the attached chip&apos;s part is not known</source>
        <translation>der Typ des angeschlossenen Chips ist unbekannt</translation>
    </message>
    <message>
        <source>not a readable ELF program</source>
        <translation>kein lesbares ELF-Programm</translation>
    </message>
    <message>
        <source>Verify failed at %1h: wrote %2, read %3</source>
        <translation>Vergleich fehlgeschlagen bei %1h: geschrieben %2, gelesen %3</translation>
    </message>
    <message>
        <source>data at %1 lies beyond the chip&apos;s %2 %3</source>
        <translation>Daten bei %1 liegen außerhalb der %2 %3 des Chips</translation>
    </message>
    <message>
        <source>File size exceeds memory range with given start address! %1 bytes from %2 do not fit %3 of %4 bytes.</source>
        <translation>Die Datei ist mit dieser Startadresse größer als der Speicherbereich! %1 Bytes ab %2 passen nicht in %3 mit %4 Bytes.</translation>
    </message>
    <message>
        <source>the %1&apos;s %2</source>
        <translation>den %2 des %1</translation>
    </message>
    <message>
        <source>The file is built for signature %1, the chip (%2) answers %3!</source>
        <translation>Die Datei ist für die Signatur %1 gebaut, der Chip (%2) antwortet mit %3!</translation>
    </message>
    <message>
        <source>the file is built for %1, the attached chip is an %2</source>
        <translation>die Datei ist für %1 gebaut, der angeschlossene Chip ist ein %2</translation>
    </message>
    <message>
        <source>the file sets %1 fuse bytes, the %2 has %3</source>
        <translation>die Datei setzt %1 Fuse-Bytes, der %2 hat %3</translation>
    </message>
    <message>
        <source>the %1 takes no fuse values from an ELF program</source>
        <translation>der %1 übernimmt keine Fuse-Werte aus einem ELF-Programm</translation>
    </message>
    <message>
        <source>The profile &quot;%1&quot; has the unknown controller type %2!</source>
        <translation>Das Profil &quot;%1&quot; hat den unbekannten Controllertyp %2!</translation>
    </message>
    <message>
        <source>Writing to the %1 is not supported yet!</source>
        <translation>Schreiben in den %1 wird noch nicht unterstützt!</translation>
    </message>
    <message>
        <source>The %1 has no %2!</source>
        <translation>Der %1 hat keinen %2!</translation>
    </message>
    <message>
        <source>This ELF program is built for an AVR, not for the %1!</source>
        <translation>Dieses ELF-Programm ist für einen AVR gebaut, nicht für den %1!</translation>
    </message>
    <message>
        <source>the backup of the %1 is not back in the chip and is kept in %2 (kestrin /R=1 writes it back)</source>
        <translation>die Sicherung des %1 ist nicht zurück im Chip und liegt in %2 (kestrin /R=1 schreibt sie zurück)</translation>
    </message>
    <message>
        <source>the backup of the %1 could not be written back</source>
        <translation>die Sicherung des %1 konnte nicht zurückgeschrieben werden</translation>
    </message>
    <message>
        <source>the restored backup&apos;s file %1 could not be removed</source>
        <translation>die Datei %1 der zurückgeschriebenen Sicherung konnte nicht entfernt werden</translation>
    </message>
    <message>
        <source>%1 could not be removed</source>
        <translation>%1 konnte nicht entfernt werden</translation>
    </message>
</context>
<context>
    <name>kestrin::SerialProgrammingCutOffs</name>
    <message>
        <source>Fuse1 set switches the chip&apos;s serial programming off: afterwards only a parallel programmer can reach it.</source>
        <translation>Fuse1 gesetzt schaltet die serielle Programmierung des Chips ab: danach erreicht ihn nur noch ein Parallelprogrammiergerät.</translation>
    </message>
    <message>
        <source>SPIEN unprogrammed switches serial programming off: afterwards only a high-voltage programmer can reach the chip.</source>
        <translation>SPIEN unprogrammiert schaltet die serielle Programmierung ab: danach erreicht nur noch ein Hochvolt-Programmiergerät den Chip.</translation>
    </message>
    <message>
        <source>RSTDISBL programmed turns the reset pin into an I/O pin: serial programming can no longer start, only a high-voltage programmer can reach the chip.</source>
        <translation>RSTDISBL programmiert macht den Reset-Pin zum E/A-Pin: die serielle Programmierung kann nicht mehr starten, nur noch ein Hochvolt-Programmiergerät erreicht den Chip.</translation>
    </message>
    <message>
        <source>DWEN programmed hands the reset pin to debugWIRE: serial programming can no longer start until a debugWIRE tool or a high-voltage programmer clears it.</source>
        <translation>DWEN programmiert übergibt den Reset-Pin an debugWIRE: die serielle Programmierung kann nicht mehr starten, bis ein debugWIRE-Werkzeug oder ein Hochvolt-Programmiergerät das Bit löscht.</translation>
    </message>
</context>
<context>
    <name>kestrin::TFormAbout</name>
    <message>
        <source>Written &amp; maintained by the Kestrin project</source>
        <translation>Geschrieben &amp; gepflegt vom Kestrin-Projekt</translation>
    </message>
    <message>
        <source>not available (no connection to Veltro)</source>
        <translation>nicht verfügbar (keine Verbindung zum Veltro)</translation>
    </message>
    <message>
        <source>About this program</source>
        <translation>Über dieses Programm</translation>
    </message>
    <message>
        <source>µC Programmer over Veltro</source>
        <translation>µC-Programmierer über Veltro</translation>
    </message>
    <message>
        <source>(Corvane Edition)</source>
        <translation>(Corvane-Ausgabe)</translation>
    </message>
    <message>
        <source>Veltro Firmware Version:</source>
        <translation>Veltro-Firmwareversion:</translation>
    </message>
    <message>
        <source>Internet:</source>
        <translation>Internet:</translation>
    </message>
    <message>
        <source>Informations about support of more microcontrollers:</source>
        <translation>Informationen zur Unterstützung weiterer Mikrocontroller:</translation>
    </message>
    <message>
        <source>E-Mail:</source>
        <translation>E-Mail:</translation>
    </message>
    <message>
        <source>contact to author</source>
        <translation>Kontakt zum Autor</translation>
    </message>
    <message>
        <source>Support:</source>
        <translation>Support:</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
</context>
<context>
    <name>kestrin::TFormFeatures</name>
    <message>
        <source>Low fuse</source>
        <translation>Low-Fuse</translation>
    </message>
    <message>
        <source>High fuse</source>
        <translation>High-Fuse</translation>
    </message>
    <message>
        <source>Extended fuse</source>
        <translation>Extended-Fuse</translation>
    </message>
    <message>
        <source>Lock bits</source>
        <translation>Lock-Bits</translation>
    </message>
    <message>
        <source>low fuse</source>
        <translation>Low-Fuse</translation>
    </message>
    <message>
        <source>high fuse</source>
        <translation>High-Fuse</translation>
    </message>
    <message>
        <source>extended fuse</source>
        <translation>Extended-Fuse</translation>
    </message>
    <message>
        <source>lock bits</source>
        <translation>Lock-Bits</translation>
    </message>
    <message>
        <source>Bits read from the chip.</source>
        <translation>Bits aus dem Chip gelesen.</translation>
    </message>
    <message>
        <source>Not connected: bits not read, nothing can be written.</source>
        <translation>Nicht verbunden: Bits nicht gelesen, nichts kann geschrieben werden.</translation>
    </message>
    <message>
        <source>No answer from the chip: nothing can be written.</source>
        <translation>Keine Antwort vom Chip: nichts kann geschrieben werden.</translation>
    </message>
    <message>
        <source>Unknown signature: nothing can be written.</source>
        <translation>Unbekannte Signatur: nichts kann geschrieben werden.</translation>
    </message>
    <message>
        <source>Connection to the adapter lost: nothing can be written.</source>
        <translation>Verbindung zum Adapter verloren: nichts kann geschrieben werden.</translation>
    </message>
    <message>
        <source>No fuse or lock bits to write for this controller.</source>
        <translation>Für diesen Controller gibt es keine Fuse- oder Lock-Bits zu schreiben.</translation>
    </message>
    <message>
        <source>Written and read back.</source>
        <translation>Geschrieben und zurückgelesen.</translation>
    </message>
    <message>
        <source>No answer from the chip.</source>
        <translation>Keine Antwort vom Chip.</translation>
    </message>
    <message>
        <source>Another chip answers: read its bits before writing them.</source>
        <translation>Ein anderer Chip antwortet: erst seine Bits lesen, dann schreiben.</translation>
    </message>
    <message>
        <source>Connection to the adapter lost: the bits may be written in part. Read them again.</source>
        <translation>Verbindung zum Adapter verloren: die Bits sind womöglich nur zum Teil geschrieben. Bitte neu lesen.</translation>
    </message>
    <message>
        <source>The chip reads back Fuse %1, Lock Bit %2.</source>
        <translation>Der Chip liest zurück: Fuse %1, Lock-Bit %2.</translation>
    </message>
    <message>
        <source>%1 %2</source>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>The chip reads back %1, lock %2.</source>
        <translation>Der Chip liest zurück: %1, Lock %2.</translation>
    </message>
    <message>
        <source>%1 as a hex byte (0 = programmed)</source>
        <translation>%1 als Hex-Byte (0 = programmiert)</translation>
    </message>
    <message>
        <source>Fuse</source>
        <translation>Fuse</translation>
    </message>
    <message>
        <source>Lock Bit</source>
        <translation>Lock-Bit</translation>
    </message>
    <message>
        <source>Fuse1, serial programming: ticked switches it off for good (only a parallel programmer switches it on again)</source>
        <translation>Fuse1, serielle Programmierung: angehakt schaltet sie dauerhaft ab (nur ein Parallelprogrammiergerät schaltet sie wieder ein)</translation>
    </message>
    <message>
        <source>Fuse2, x2 clock: ticked is off</source>
        <translation>Fuse2, doppelter Takt: angehakt ist aus</translation>
    </message>
    <message>
        <source>Fuse3, user row programming: ticked is off</source>
        <translation>Fuse3, Programmierung der User Row: angehakt ist aus</translation>
    </message>
    <message>
        <source>Fuse4, external clock: ticked is off (crystal oscillator)</source>
        <translation>Fuse4, externer Takt: angehakt ist aus (Quarzoszillator)</translation>
    </message>
    <message>
        <source>Lock bit %1: ticked is not programmed; only a chip erase clears a programmed lock bit</source>
        <translation>Lock-Bit %1: angehakt ist nicht programmiert; nur das Löschen des Chips löscht ein programmiertes Lock-Bit</translation>
    </message>
    <message>
        <source>Features</source>
        <translation>Funktionen</translation>
    </message>
    <message>
        <source>&amp;Write</source>
        <translation>&amp;Schreiben</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>Schl&amp;ießen</translation>
    </message>
    <message>
        <source>&amp;Read again</source>
        <translation>Erneut &amp;lesen</translation>
    </message>
    <message>
        <source>factory defaults</source>
        <translation>Werkseinstellungen</translation>
    </message>
    <message>
        <source>The part&apos;s fuse bytes as it leaves the factory (not written until Write)</source>
        <translation>Die Fuse-Bytes des Bausteins ab Werk (erst mit Schreiben geschrieben)</translation>
    </message>
    <message>
        <source>%1, bit %2: %3 (0 = programmed)</source>
        <translation>%1, Bit %2: %3 (0 = programmiert)</translation>
    </message>
    <message>
        <source>Unknown signature %1 %2 %3: nothing can be written.</source>
        <translation>Unbekannte Signatur %1 %2 %3: nichts kann geschrieben werden.</translation>
    </message>
    <message>
        <source>Factory defaults shown: not written yet.</source>
        <translation>Werkseinstellungen angezeigt: noch nicht geschrieben.</translation>
    </message>
    <message>
        <source>Nothing written.</source>
        <translation>Nichts geschrieben.</translation>
    </message>
    <message>
        <source>Error programming fuse bits!</source>
        <translation>Fehler beim Programmieren der Fuse-Bits!</translation>
    </message>
    <message>
        <source>%1 Write anyway?</source>
        <translation>%1 Trotzdem schreiben?</translation>
    </message>
    <message>
        <source>1 = unprogrammed, 0 = programmed.</source>
        <translation>1 = unprogrammiert, 0 = programmiert.</translation>
    </message>
    <message>
        <source>Ticked = 1 = unprogrammed, clear = 0 = programmed.</source>
        <translation>Angehakt = 1 = unprogrammiert, leer = 0 = programmiert.</translation>
    </message>
    <message>
        <source>from &amp;ELF file…</source>
        <translation>aus &amp;ELF-Datei…</translation>
    </message>
    <message>
        <source>The fuse and lock values an avr-gcc program sets (not written until Write)</source>
        <translation>Die Fuse- und Lock-Werte, die ein avr-gcc-Programm setzt (erst mit Schreiben geschrieben)</translation>
    </message>
    <message>
        <source>Fuse values from an ELF program</source>
        <translation>Fuse-Werte aus einem ELF-Programm</translation>
    </message>
    <message>
        <source>%1: %2. Nothing changed.</source>
        <translation>%1: %2. Nichts geändert.</translation>
    </message>
    <message>
        <source>%1 sets %2: shown, not written yet.</source>
        <translation>%1 setzt %2: angezeigt, noch nicht geschrieben.</translation>
    </message>
</context>
<context>
    <name>kestrin::TFormHelp</name>
    <message>
        <source>µC Programmer over Veltro - command line parameters</source>
        <translation>µC-Programmierer über Veltro - Befehlszeilenparameter</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>kestrin::TFormNewProfile</name>
    <message>
        <source>Save Programming Profile</source>
        <translation>Programmierprofil speichern</translation>
    </message>
    <message>
        <source>Name:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>Description:</source>
        <translation>Beschreibung:</translation>
    </message>
</context>
<context>
    <name>kestrin::TFormOptions</name>
    <message>
        <source>unknown signature%1</source>
        <translation>unbekannte Signatur%1</translation>
    </message>
    <message>
        <source>%1 does not report a signature</source>
        <translation>%1 meldet keine Signatur</translation>
    </message>
    <message>
        <source>nothing answered</source>
        <translation>nichts hat geantwortet</translation>
    </message>
    <message>
        <source>Options</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Serial &amp;Port:</source>
        <translation>Serieller &amp;Anschluss:</translation>
    </message>
    <message>
        <source>try to &amp;connect at program launch</source>
        <translation>beim Programmstart &amp;verbinden</translation>
    </message>
    <message>
        <source>Programming Profile:</source>
        <translation>Programmierprofil:</translation>
    </message>
    <message>
        <source>(no information available)</source>
        <translation>(keine Angaben vorhanden)</translation>
    </message>
    <message>
        <source>Profile changes of default profiles will be lost after program leave!</source>
        <translation>Änderungen an Standardprofilen gehen beim Beenden des Programms verloren!</translation>
    </message>
    <message>
        <source>Microcontroller type:</source>
        <translation>Mikrocontrollertyp:</translation>
    </message>
    <message>
        <source>&amp;Detect</source>
        <translation>&amp;Erkennen</translation>
    </message>
    <message>
        <source>read the signature of the attached controller and select its type</source>
        <translation>die Signatur des angeschlossenen Controllers lesen und seinen Typ wählen</translation>
    </message>
    <message>
        <source>SCK quiescent high</source>
        <translation>SCK in Ruhe high</translation>
    </message>
    <message>
        <source>MISO inverted</source>
        <translation>MISO invertiert</translation>
    </message>
    <message>
        <source>MOSI inverted</source>
        <translation>MOSI invertiert</translation>
    </message>
    <message>
        <source>Programming wait time:</source>
        <translation>Wartezeit beim Programmieren:</translation>
    </message>
    <message>
        <source>Flash</source>
        <translation>Flash</translation>
    </message>
    <message>
        <source>E²PROM</source>
        <translation>E²PROM</translation>
    </message>
    <message>
        <source>Chip erase wait time:</source>
        <translation>Wartezeit beim Löschen des Chips:</translation>
    </message>
    <message>
        <source>Save profile as...</source>
        <translation>Profil speichern unter...</translation>
    </message>
    <message>
        <source>save settings under new profile</source>
        <translation>Einstellungen unter neuem Profil speichern</translation>
    </message>
    <message>
        <source>Delete profile...</source>
        <translation>Profil löschen...</translation>
    </message>
    <message>
        <source>delete the selected profile</source>
        <translation>das gewählte Profil löschen</translation>
    </message>
    <message>
        <source>Features...</source>
        <translation>Funktionen...</translation>
    </message>
    <message>
        <source>read, modify and write fuse bits</source>
        <translation>Fuse-Bits lesen, ändern und schreiben</translation>
    </message>
    <message>
        <source>Connect the adapter first!</source>
        <translation>Zuerst den Adapter verbinden!</translation>
    </message>
    <message>
        <source>%1 (nor does the AT89S53): choose its profile yourself.</source>
        <translation>%1 (der AT89S53 auch nicht): bitte sein Profil selbst wählen.</translation>
    </message>
    <message>
        <source>No controller detected: %1!</source>
        <translation>Kein Controller erkannt: %1!</translation>
    </message>
    <message>
        <source>Detected %1.</source>
        <translation>Erkannt: %1.</translation>
    </message>
    <message>
        <source>Detected %1: profile &quot;%2&quot; selected.</source>
        <translation>Erkannt: %1, Profil &quot;%2&quot; gewählt.</translation>
    </message>
    <message>
        <source>Detected %1, but no profile is for it and there is no room for another.</source>
        <translation>Erkannt: %1, aber kein Profil passt dazu und für ein weiteres ist kein Platz.</translation>
    </message>
    <message>
        <source>Detected %1. No profile is for it: create the profile &quot;%2&quot;?</source>
        <translation>Erkannt: %1. Kein Profil passt dazu: Profil &quot;%2&quot; anlegen?</translation>
    </message>
    <message>
        <source>Are you sure to delete the profile</source>
        <translation>Soll das Profil wirklich gelöscht werden?</translation>
    </message>
    <message>
        <source>Target clock:</source>
        <translation>Zieltakt:</translation>
    </message>
    <message>
        <source>SPI clock for AVR targets: auto reads the clock fuses and checks the signature</source>
        <translation>SPI-Takt für AVR-Ziele: automatisch liest die Takt-Fuses und prüft die Signatur</translation>
    </message>
    <message>
        <source>slow</source>
        <translation>langsam</translation>
    </message>
    <message>
        <source>auto</source>
        <translation>automatisch</translation>
    </message>
    <message>
        <source>ADDR:LEN:FORMAT:FIRST[:STEP], e.g. 0x7FFC:4:le:1000: the serial number kestrin-cli produce writes into every chip; FORMAT le, be, bcd, dec or hex; empty: none</source>
        <translation>ADRESSE:LÄNGE:FORMAT:ERSTE[:SCHRITT], z. B. 0x7FFC:4:le:1000: die Seriennummer, die kestrin-cli produce in jeden Chip schreibt; FORMAT le, be, bcd, dec oder hex; leer: keine</translation>
    </message>
    <message>
        <source>Serial number:</source>
        <translation>Seriennummer:</translation>
    </message>
    <message>
        <source>none</source>
        <translation>keine</translation>
    </message>
</context>
<context>
    <name>kestrin::TFormRead</name>
    <message>
        <source>Read/Write µC</source>
        <translation>µC lesen/schreiben</translation>
    </message>
    <message>
        <source>Choose file with data for programming</source>
        <translation>Datei mit den Daten zum Programmieren wählen</translation>
    </message>
    <message>
        <source>Save data into file</source>
        <translation>Daten in Datei speichern</translation>
    </message>
    <message>
        <source>Data size:</source>
        <translation>Datengröße:</translation>
    </message>
    <message>
        <source>Data size up by %1</source>
        <translation>Datengröße um %1 erhöhen</translation>
    </message>
    <message>
        <source>Data size down by %1</source>
        <translation>Datengröße um %1 verringern</translation>
    </message>
    <message>
        <source>&amp;Clear</source>
        <translation>&amp;Leeren</translation>
    </message>
    <message>
        <source>&amp;Load File</source>
        <translation>Datei l&amp;aden</translation>
    </message>
    <message>
        <source>&amp;Write µC</source>
        <translation>µC &amp;schreiben</translation>
    </message>
    <message>
        <source>&amp;Read µC</source>
        <translation>µC l&amp;esen</translation>
    </message>
    <message>
        <source>&amp;Save File</source>
        <translation>Datei spei&amp;chern</translation>
    </message>
    <message>
        <source>&amp;Exit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Stopp</translation>
    </message>
    <message>
        <source>Stop the run (Esc); a backup is still written back</source>
        <translation>Lauf anhalten (Esc); eine Sicherung wird noch zurückgeschrieben</translation>
    </message>
    <message>
        <source>Error reading file!</source>
        <translation>Fehler beim Lesen der Datei!</translation>
    </message>
    <message>
        <source>Data exceeds maximum size and will be cut!</source>
        <translation>Die Daten überschreiten die Höchstgröße und werden abgeschnitten!</translation>
    </message>
    <message>
        <source>Error saving data into file!</source>
        <translation>Fehler beim Speichern der Daten in die Datei!</translation>
    </message>
    <message>
        <source>A run is going. Stop it?</source>
        <translation>Ein Lauf ist im Gange. Anhalten?</translation>
    </message>
</context>
<context>
    <name>kestrin::TOkCancelDialog</name>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>kestrin::TSpinButton</name>
    <message>
        <source>Up</source>
        <translation>Auf</translation>
    </message>
    <message>
        <source>Down</source>
        <translation>Ab</translation>
    </message>
</context>
</TS>
