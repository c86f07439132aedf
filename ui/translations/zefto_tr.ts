<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="tr_TR">
<context>
    <name>main</name>
    <message>
        <source>Converts share table reports into ovrekson.</source>
        <translation>Hisse cetveli raporlarını ovrekson tablosuna dönüştürür.</translation>
    </message>
    <message>
        <source>Shows the records window alone.</source>
        <translation>Yalnızca kayıtlar penceresini açar.</translation>
    </message>
    <message>
        <source>The database (else ZEFTO_DATABASE, else ovrek1.mdb here).</source>
        <translation>Veritabanı (verilmezse ZEFTO_DATABASE, o da yoksa buradaki ovrek1.mdb).</translation>
    </message>
    <message>
        <source>FILE|ADDRESS</source>
        <translation>DOSYA|ADRES</translation>
    </message>
</context>
<context>
    <name>zefto::Engine</name>
    <message>
        <source>This report was already converted on %1 by %2: 1 record (%3). Convert it again?</source>
        <translation>Bu rapor %1 tarihinde %2 tarafından zaten dönüştürüldü: 1 kayıt (%3). Yeniden dönüştürülsün mü?</translation>
    </message>
    <message>
        <source>This report was already converted on %1 by %2: %3 records (%4). Convert it again?</source>
        <translation>Bu rapor %1 tarihinde %2 tarafından zaten dönüştürüldü: %3 kayıt (%4). Yeniden dönüştürülsün mü?</translation>
    </message>
    <message>
        <source>waiting for another program to finish writing %1…</source>
        <translation>%1 veritabanına yazan başka bir programın bitirmesi bekleniyor…</translation>
    </message>
    <message>
        <source>%1 (server role: %2)</source>
        <translation>%1 (sunucu rolü: %2)</translation>
    </message>
</context>
<context>
    <name>zefto::endbox</name>
    <message>
        <source>&apos;%1&apos; does not look like a share table report.</source>
        <translation>&apos;%1&apos; bir hisse cetveli raporuna benzemiyor.</translation>
    </message>
    <message>
        <source>Report: %1</source>
        <translation>Rapor: %1</translation>
    </message>
    <message>
        <source>Records stored: %1</source>
        <translation>Saklanan kayıt: %1</translation>
    </message>
    <message>
        <source>Database: %1</source>
        <translation>Veritabanı: %1</translation>
    </message>
    <message>
        <source>No father&apos;s name in this report needed the Ğ repair, so it may not come from the expected printer. Check the records, and undo the conversion if they are wrong.</source>
        <translation>Bu rapordaki hiçbir baba adında Ğ düzeltmesi gerekmedi; rapor beklenen yazıcıdan gelmemiş olabilir. Kayıtları denetleyin, yanlışlarsa dönüştürmeyi geri alın.</translation>
    </message>
    <message>
        <source>Shares: not checked: %1</source>
        <translation>Hisseler: denetlenemedi: %1</translation>
    </message>
    <message>
        <source>Shares: %1 new parcels, all add up</source>
        <translation>Hisseler: %1 yeni parselin hepsi tutuyor</translation>
    </message>
    <message>
        <source>Shares: %1 of %2 new parcels do not add up</source>
        <translation>Hisseler: %2 yeni parselden %1 tanesi tutmuyor</translation>
    </message>
    <message>
        <source>; %1 records&apos; title deeds or allocations do not match</source>
        <translation>; %1 kaydın tapu veya tahsis değeri uyuşmuyor</translation>
    </message>
    <message>
        <source>(Show records, then Check; or zefto-records check --conversion %1)</source>
        <translation>(Kayıtları göster, sonra Denetle; ya da zefto-records check --conversion %1)</translation>
    </message>
    <message>
        <source>Shares: 1 of %1 new parcels does not add up</source>
        <translation>Hisseler: %1 yeni parselden 1 tanesi tutmuyor</translation>
    </message>
</context>
<context>
    <name>zefto::records</name>
    <message>
        <source>Converting would store 1 record</source>
        <translation>Dönüştürme 1 kayıt saklayacak</translation>
    </message>
    <message>
        <source>Converting would store %1 records</source>
        <translation>Dönüştürme %1 kayıt saklayacak</translation>
    </message>
    <message>
        <source>; the run would stop at line %1 of &apos;%2&apos; because a required column is empty (%3)
%4 later data line(s) of the report would not be converted.</source>
        <translation>; çalışma &apos;%2&apos; dosyasının %1. satırında duracak, çünkü zorunlu bir sütun boş (%3)
Raporun sonraki %4 veri satırı dönüştürülmeyecek.</translation>
    </message>
    <message>
        <source>; the run would stop at line %1 of &apos;%2&apos; because of error %3: %4</source>
        <translation>; çalışma &apos;%2&apos; dosyasının %1. satırında %3 numaralı hata yüzünden duracak: %4</translation>
    </message>
</context>
<context>
    <name>zefto::ui::CheckView</name>
    <message>
        <source>Check</source>
        <translation>Denetim</translation>
    </message>
    <message>
        <source>Findings</source>
        <translation>Bulgular</translation>
    </message>
    <message>
        <source>Choose a line to select its records.</source>
        <translation>Kayıtlarını seçmek için bir satır seçin.</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Kapat</translation>
    </message>
    <message>
        <source>Rule %1</source>
        <translation>Kural %1</translation>
    </message>
    <message>
        <source>Everything adds up.</source>
        <translation>Her şey tutuyor.</translation>
    </message>
</context>
<context>
    <name>zefto::ui::DirListBox</name>
    <message>
        <source>No directory was named.</source>
        <translation>Bir klasör adı verilmedi.</translation>
    </message>
    <message>
        <source>The directory &apos;%1&apos; does not exist.</source>
        <translation>&apos;%1&apos; klasörü yok.</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a directory.</source>
        <translation>&apos;%1&apos; bir klasör değil.</translation>
    </message>
    <message>
        <source>The directory &apos;%1&apos; cannot be read: permission denied.</source>
        <translation>&apos;%1&apos; klasörü okunamıyor: izin verilmedi.</translation>
    </message>
</context>
<context>
    <name>zefto::ui::DriveListBox</name>
    <message>
        <source>There is no drive &apos;%1&apos;.</source>
        <translation>&apos;%1&apos; sürücüsü yok.</translation>
    </message>
    <message>
        <source>Drive &apos;%1&apos; is not ready: it is no longer present.</source>
        <translation>&apos;%1&apos; sürücüsü hazır değil: artık takılı değil.</translation>
    </message>
    <message>
        <source>Drive &apos;%1&apos; is not ready: it cannot be read.</source>
        <translation>&apos;%1&apos; sürücüsü hazır değil: okunamıyor.</translation>
    </message>
</context>
<context>
    <name>zefto::ui::PreviewDialog</name>
    <message>
        <source>Preview of %1</source>
        <translation>%1 önizlemesi</translation>
    </message>
    <message>
        <source>Neighbourhood</source>
        <translation>Mahalle</translation>
    </message>
    <message>
        <source>The neighbourhood every record of this report gets; for this report only.</source>
        <translation>Bu raporun her kaydına yazılacak mahalle; yalnızca bu rapor için.</translation>
    </message>
    <message>
        <source>Report:</source>
        <translation>Rapor:</translation>
    </message>
    <message>
        <source>Neighbourhood:</source>
        <translation>Mahalle:</translation>
    </message>
    <message>
        <source>Records</source>
        <translation>Kayıtlar</translation>
    </message>
    <message>
        <source>Report</source>
        <translation>Rapor</translation>
    </message>
    <message>
        <source>Message</source>
        <translation>İleti</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>İlerleme</translation>
    </message>
    <message>
        <source>Convert</source>
        <translation>Dönüştür</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Kapat</translation>
    </message>
    <message>
        <source>These bytes were converted before: conversion %1 on %2 stored %3 records. Convert asks before storing them again.</source>
        <translation>Bu içerik daha önce dönüştürüldü: %2 tarihindeki %1 numaralı dönüştürme %3 kayıt sakladı. Dönüştür, bunları yeniden saklamadan önce sorar.</translation>
    </message>
    <message>
        <source>The report cannot be previewed.

%1</source>
        <translation>Rapor önizlenemiyor.

%1</translation>
    </message>
    <message>
        <source>Converting would store 1 record and end with:</source>
        <translation>Dönüştürme 1 kayıt saklayacak ve şu iletiyle bitecek:</translation>
    </message>
    <message>
        <source>Converting would store %1 records and end with:</source>
        <translation>Dönüştürme %1 kayıt saklayacak ve şu iletiyle bitecek:</translation>
    </message>
    <message>
        <source>Converted into the database; the run ended with:</source>
        <translation>Veritabanına dönüştürüldü; çalışma şu iletiyle bitti:</translation>
    </message>
    <message>
        <source>The run ended with:</source>
        <translation>Çalışma şu iletiyle bitti:</translation>
    </message>
    <message>
        <source>Not converted again; nothing was stored.</source>
        <translation>Yeniden dönüştürülmedi; hiçbir şey saklanmadı.</translation>
    </message>
    <message>
        <source>Nothing was stored.</source>
        <translation>Hiçbir şey saklanmadı.</translation>
    </message>
</context>
<context>
    <name>zefto::ui::RecordTableModel</name>
    <message>
        <source>New block</source>
        <translation>Yeni ada</translation>
    </message>
    <message>
        <source>New parcel</source>
        <translation>Yeni parsel</translation>
    </message>
    <message>
        <source>New share</source>
        <translation>Yeni hisse payı</translation>
    </message>
    <message>
        <source>New share of</source>
        <translation>Yeni hisse paydası</translation>
    </message>
    <message>
        <source>Share area</source>
        <translation>Hisse yüzölçümü</translation>
    </message>
    <message>
        <source>New area</source>
        <translation>Yeni alan</translation>
    </message>
    <message>
        <source>Owner</source>
        <translation>Malik</translation>
    </message>
    <message>
        <source>Surname</source>
        <translation>Soyadı</translation>
    </message>
    <message>
        <source>Father&apos;s name</source>
        <translation>Baba adı</translation>
    </message>
    <message>
        <source>Old sheet</source>
        <translation>Eski pafta</translation>
    </message>
    <message>
        <source>Old block</source>
        <translation>Eski ada</translation>
    </message>
    <message>
        <source>Old parcel</source>
        <translation>Eski parsel</translation>
    </message>
    <message>
        <source>Old share</source>
        <translation>Eski hisse payı</translation>
    </message>
    <message>
        <source>Old share of</source>
        <translation>Eski hisse paydası</translation>
    </message>
    <message>
        <source>Old area</source>
        <translation>Eski alan</translation>
    </message>
    <message>
        <source>Title deed</source>
        <translation>Tapu</translation>
    </message>
    <message>
        <source>Deduction</source>
        <translation>DOP kesintisi</translation>
    </message>
    <message>
        <source>Allocation</source>
        <translation>Tahsis</translation>
    </message>
    <message>
        <source>Neighbourhood</source>
        <translation>Mahalle</translation>
    </message>
    <message>
        <source>%1 of %2 shown</source>
        <translation>%2 kayıttan %1 tanesi gösteriliyor</translation>
    </message>
    <message>
        <source>1 record</source>
        <translation>1 kayıt</translation>
    </message>
    <message>
        <source>%1 records</source>
        <translation>%1 kayıt</translation>
    </message>
    <message>
        <source>This record was removed after the list was read.</source>
        <translation>Bu kayıt, liste okunduktan sonra silindi.</translation>
    </message>
    <message>
        <source>(none)</source>
        <translation>(yok)</translation>
    </message>
    <message>
        <source>No value (NULL)</source>
        <translation>Değer yok (NULL)</translation>
    </message>
    <message>
        <source>Empty text</source>
        <translation>Boş metin</translation>
    </message>
    <message>
        <source>Blank text of %1 spaces</source>
        <translation>%1 boşluktan oluşan metin</translation>
    </message>
    <message>
        <source>The record&apos;s key in ovrekson</source>
        <translation>Kaydın ovrekson tablosundaki anahtarı</translation>
    </message>
</context>
<context>
    <name>zefto::ui::RecordsGrid</name>
    <message>
        <source>Copy records</source>
        <translation>Kayıtları kopyala</translation>
    </message>
    <message>
        <source>Copy %1 records? Reading them all takes a while.</source>
        <translation>%1 kayıt kopyalansın mı? Hepsini okumak biraz zaman alır.</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopyala</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopyala</translation>
    </message>
    <message>
        <source>Copy with &amp;headings</source>
        <translation>&amp;Başlıklarla kopyala</translation>
    </message>
    <message>
        <source>&amp;Export selection…</source>
        <translation>Seçileni &amp;dışa aktar…</translation>
    </message>
    <message>
        <source>Show &amp;conversion</source>
        <translation>&amp;Dönüştürmeyi göster</translation>
    </message>
</context>
<context>
    <name>zefto::ui::RecordsWindow</name>
    <message>
        <source>Zefto Records</source>
        <translation>Zefto Kayıtları</translation>
    </message>
    <message>
        <source>Export records</source>
        <translation>Kayıtları dışa aktar</translation>
    </message>
    <message>
        <source>CSV file (*.csv);;Excel workbook (*.xlsx)</source>
        <translation>CSV dosyası (*.csv);;Excel çalışma kitabı (*.xlsx)</translation>
    </message>
    <message>
        <source>Preview report</source>
        <translation>Raporu önizle</translation>
    </message>
    <message>
        <source>Reports (*.txt *.TXT *.prn *.PRN);;All files (*)</source>
        <translation>Raporlar (*.txt *.TXT *.prn *.PRN);;Tüm dosyalar (*)</translation>
    </message>
    <message>
        <source>Conversions</source>
        <translation>Dönüştürmeler</translation>
    </message>
    <message>
        <source>Pick a conversion to see only its records.</source>
        <translation>Yalnızca bir dönüştürmenin kayıtlarını görmek için onu seçin.</translation>
    </message>
    <message>
        <source>&amp;Conversions</source>
        <translation>&amp;Dönüştürmeler</translation>
    </message>
    <message>
        <source>&amp;Undo conversion…</source>
        <translation>Dönüştürmeyi &amp;geri al…</translation>
    </message>
    <message>
        <source>Undo conversion…</source>
        <translation>Dönüştürmeyi geri al…</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filtre</translation>
    </message>
    <message>
        <source>Owner, surname, father&apos;s name, block, parcel or neighbourhood</source>
        <translation>Malik, soyadı, baba adı, ada, parsel ya da mahalle</translation>
    </message>
    <message>
        <source>&amp;Filter:</source>
        <translation>&amp;Filtre:</translation>
    </message>
    <message>
        <source>Records</source>
        <translation>Kayıtlar</translation>
    </message>
    <message>
        <source>&amp;Preview report…</source>
        <translation>&amp;Raporu önizle…</translation>
    </message>
    <message>
        <source>Preview report…</source>
        <translation>Raporu önizle…</translation>
    </message>
    <message>
        <source>&amp;Export…</source>
        <translation>Dışa &amp;aktar…</translation>
    </message>
    <message>
        <source>Export…</source>
        <translation>Dışa aktar…</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Kapat</translation>
    </message>
    <message>
        <source>Record count</source>
        <translation>Kayıt sayısı</translation>
    </message>
    <message>
        <source>Searching…</source>
        <translation>Aranıyor…</translation>
    </message>
    <message>
        <source>All records</source>
        <translation>Tüm kayıtlar</translation>
    </message>
    <message>
        <source>%1  %2  %3
%4 records</source>
        <translation>%1  %2  %3
%4 kayıt</translation>
    </message>
    <message>
        <source>, undone %1 by %2</source>
        <translation>, %1 tarihinde %2 tarafından geri alındı</translation>
    </message>
    <message>
        <source>%1
by %2@%3, neighbourhood %4
%5</source>
        <translation>%1
%2@%3 tarafından, mahalle %4
%5</translation>
    </message>
    <message>
        <source>Undo conversion</source>
        <translation>Dönüştürmeyi geri al</translation>
    </message>
    <message>
        <source>Remove the %1 records of conversion %2, the report &apos;%3&apos; converted on %4?

The log keeps the conversion, marked undone.</source>
        <translation>%2 numaralı dönüştürmenin %1 kaydı (%4 tarihinde dönüştürülen &apos;%3&apos; raporu) silinsin mi?

Günlük, dönüştürmeyi geri alındı olarak işaretleyip saklar.</translation>
    </message>
    <message>
        <source>Conversion %1 undone: %2 records removed.</source>
        <translation>%1 numaralı dönüştürme geri alındı: %2 kayıt silindi.</translation>
    </message>
    <message>
        <source>Records are exported to a .csv or an .xlsx file.</source>
        <translation>Kayıtlar bir .csv ya da .xlsx dosyasına aktarılır.</translation>
    </message>
    <message>
        <source>%1 records written to %2</source>
        <translation>%1 kayıt %2 dosyasına yazıldı</translation>
    </message>
    <message>
        <source>%1 control characters a sheet cannot hold were written as U+FFFD.</source>
        <translation>Bir çalışma sayfasının tutamadığı %1 denetim karakteri U+FFFD olarak yazıldı.</translation>
    </message>
    <message>
        <source>server role: %1</source>
        <translation>sunucu rolü: %1</translation>
    </message>
    <message>
        <source>&amp;Refresh</source>
        <translation>&amp;Yenile</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Yenile</translation>
    </message>
    <message>
        <source>Reads the count, the records in view and the conversions again (F5).</source>
        <translation>Sayıyı, görünen kayıtları ve dönüştürmeleri yeniden okur (F5).</translation>
    </message>
    <message>
        <source>No conversion has been made in %1 yet.</source>
        <translation>%1 içinde henüz hiç dönüştürme yapılmadı.</translation>
    </message>
    <message>
        <source>Record %1 comes from no conversion in the log.</source>
        <translation>%1 numaralı kayıt kayıt defterindeki hiçbir dönüştürmeden gelmiyor.</translation>
    </message>
    <message>
        <source>Conversion %1 of &apos;%2&apos; was undone on %3 by %4; it has no records.</source>
        <translation>&apos;%2&apos; içindeki %1 numaralı dönüştürme %3 tarihinde %4 tarafından geri alındı; hiç kaydı yok.</translation>
    </message>
    <message>
        <source>Chec&amp;k…</source>
        <translation>D&amp;enetle…</translation>
    </message>
    <message>
        <source>Check…</source>
        <translation>Denetle…</translation>
    </message>
</context>
<context>
    <name>zefto::ui::boxes</name>
    <message>
        <source>Convert again</source>
        <translation>Yeniden dönüştür</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Vazgeç</translation>
    </message>
</context>
<context>
    <name>zefto::ui::frmZefto</name>
    <message>
        <source>Report file</source>
        <translation>Rapor dosyası</translation>
    </message>
    <message>
        <source>Folders</source>
        <translation>Klasörler</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>Dosyalar</translation>
    </message>
    <message>
        <source>Drives</source>
        <translation>Sürücüler</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>İlerleme</translation>
    </message>
    <message>
        <source>Database: %1</source>
        <translation>Veritabanı: %1</translation>
    </message>
    <message>
        <source>Nothing can be converted.</source>
        <translation>Hiçbir şey dönüştürülemez.</translation>
    </message>
    <message>
        <source>The database cannot be opened.</source>
        <translation>Veritabanı açılamıyor.</translation>
    </message>
    <message>
        <source>Cannot make &apos;%1&apos; the current folder.</source>
        <translation>&apos;%1&apos; geçerli klasör yapılamıyor.</translation>
    </message>
    <message>
        <source>Show records</source>
        <translation>Kayıtları göster</translation>
    </message>
</context>
</TS>
