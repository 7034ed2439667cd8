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
