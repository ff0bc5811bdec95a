// The archive's services over DCMTK's DcmSCU: C-ECHO, C-FIND (Study Root), C-GET into a folder, C-STORE.
// One association per call. Time-outs: connection and association negotiation (connect_timeout),
// each DIMSE message (dimse_timeout, non-blocking DIMSE) and the whole retrieval or store
// (transfer_timeout, checked at every message). Every failure gives one French sentence that
// names the archive (AE title, host:port), the service and, for a refusal, the DIMSE status.
// With TLS (dcmtls, OpenSSL) the handshake is bounded by connect_timeout and the archive's
// certificate must be signed by the configured authority and carry the host's name or address.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <tuple>
#include <utility>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmnet/dcmtrans.h>
#include <dcmtk/dcmnet/diutil.h>
#include <dcmtk/dcmnet/scu.h>
#include <dcmtk/dcmtls/tlslayer.h>
#include <dcmtk/oflog/oflog.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/time.h>

#include "latin1.h"
#include "pacs.h"
#include "write_whole.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace pacs {

namespace {

// DCMTK logs to the terminal by default; our callers get one sentence per failure instead.
void quiet_dcmtk() {
    static std::once_flag once;
    std::call_once(once, [] { OFLog::configure(OFLogger::OFF_LOG_LEVEL); });
}

std::string hex4(unsigned v) {
    char b[8];
    std::snprintf(b, sizeof b, "0x%04X", v & 0xFFFF);
    return b;
}

// The meaning of a DIMSE status (DICOM PS3.4 and PS3.7).
std::string status_meaning(unsigned st) {
    if (st == 0x0000) return "succ\xE8s";
    if (st == 0xFE00) return "op\xE9ration annul\xE9" "e";
    if (st == 0xFF00 || st == 0xFF01) return "en cours";
    if (st == 0xA801) return "destination inconnue";
    if ((st & 0xFF00) == 0xA700) return "refus : ressources insuffisantes";
    if ((st & 0xFF00) == 0xA900) return "erreur : les donn\xE9" "es ne correspondent pas \xE0 la classe SOP";
    if ((st & 0xF000) == 0xC000) return "\xE9" "chec : l'archive ne peut pas traiter les donn\xE9" "es";
    if (st == 0xB000) return "avertissement : des sous-op\xE9rations ont \xE9" "chou\xE9";
    if (st == 0xB006) return "avertissement : des \xE9l\xE9ments ont \xE9t\xE9 ignor\xE9s";
    if (st == 0xB007) return "avertissement : les donn\xE9" "es ne correspondent pas \xE0 la classe SOP";
    if (st == 0x0110) return "\xE9" "chec du traitement";
    if (st == 0x0117) return "instance SOP invalide";
    if (st == 0x0122) return "classe SOP non prise en charge";
    if (st == 0x0124) return "op\xE9ration non autoris\xE9" "e";
    if (st == 0x0211) return "op\xE9ration non reconnue";
    return "statut inconnu";
}

std::string status_text(unsigned st) { return "statut " + hex4(st) + " (" + status_meaning(st) + ")"; }

bool status_ok(unsigned st) { return st == 0x0000 || st == 0xB000 || st == 0xB006 || st == 0xB007; }

std::string archive(const Settings& s) {
    return "l'archive " + s.peer_aet + " (" + s.host + ":" + std::to_string(s.port) + ")";
}

std::string capitalised(std::string t) {
    if (!t.empty() && t[0] == 'l') t[0] = 'L';
    return t;
}

// The first fault OpenSSL found in the archive's certificate during this thread's last handshake.
thread_local int certificate_fault = X509_V_OK;

int remember_certificate_fault(int ok, X509_STORE_CTX* store) {
    if (!ok && certificate_fault == X509_V_OK) certificate_fault = X509_STORE_CTX_get_error(store);
    return ok;
}

// Why the TLS handshake failed: the fault found in the archive's certificate, else OpenSSL's words.
std::string tls_failure(const std::string& text, const Settings& s) {
    const int fault = certificate_fault;
    if (fault == X509_V_ERR_HOSTNAME_MISMATCH || fault == X509_V_ERR_IP_ADDRESS_MISMATCH)
        return "certificat de l'archive refus\xE9 : il ne porte pas le nom \xAB " + s.host + " \xBB (TLS)";
    if (fault == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY || fault == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT ||
        fault == X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT || fault == X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN ||
        fault == X509_V_ERR_CERT_SIGNATURE_FAILURE)
        return "certificat de l'archive refus\xE9 : il n'est pas sign\xE9 par l'autorit\xE9 de " + latin1_of(s.ca) + " (TLS)";
    if (fault == X509_V_ERR_CERT_HAS_EXPIRED) return "certificat de l'archive expir\xE9 (TLS)";
    if (fault == X509_V_ERR_CERT_NOT_YET_VALID) return "certificat de l'archive pas encore valide (TLS)";
    if (fault != X509_V_OK)
        return with_detail("certificat de l'archive refus\xE9 (TLS)", X509_verify_cert_error_string(fault));
    const auto has = [&text](const char* w) { return text.find(w) != std::string::npos; };
    if (has("WANT_READ") || has("did not complete"))
        return "pas de r\xE9ponse en " + std::to_string(s.connect_timeout) + " s \xE0 la n\xE9gociation TLS";
    if (has("protocol version")) return with_detail("l'archive ne propose pas TLS 1.2 ou plus r\xE9" "cent", text);
    if (has("alert") && has("certificate")) return with_detail("l'archive a refus\xE9 notre certificat (TLS)", text);
    if (has("wrong version") || has("packet length") || has("unexpected eof") || has("record layer"))
        return with_detail("\xE9" "chec de la n\xE9gociation TLS (l'archive attend-elle TLS sur ce port ?)", text);
    return with_detail("\xE9" "chec de la n\xE9gociation TLS", text);
}

// Why a network call failed, in French, from DCMTK's condition.
std::string network_failure(const OFCondition& c, const Settings& s, const std::string& service, int timeout) {
    std::string text = c.text();  // DCMTK's own words, on one line
    for (char& ch : text)
        if (ch == '\n') ch = ' ';
    const unsigned short code = c.module() == OFM_dcmnet ? c.code() : 0;
    if (code == DULC_ASSOCIATIONREJECTED)
        return "Association refus\xE9" "e par " + archive(s) + " pour le " + service + " : v\xE9rifier le titre AE appel\xE9 \xAB " +
               s.peer_aet + " \xBB et le titre AE appelant \xAB " + s.aet + " \xBB";
    std::string why;
    if (code == DULC_TLSERROR || c.module() == OFM_dcmtls) why = tls_failure(text, s);
    else if (code == DULC_UNKNOWNHOST) why = "nom d'h\xF4te inconnu";
    else if (code == DULC_UNRECOGNIZEDPDUTYPE || code == DULC_UNEXPECTEDPDU) why = "ce port ne r\xE9pond pas en DICOM";
    else if (code == DULC_TCPINITERROR || code == DULC_REQUESTASSOCIATIONFAILED) {
        why = with_detail("connexion impossible", text);
        if (text.find("refused") != std::string::npos) why = "connexion refus\xE9" "e (aucun service DICOM sur ce port)";
        else if (text.find("imed out") != std::string::npos || text.find("imeout") != std::string::npos)
            why = "pas de r\xE9ponse en " + std::to_string(timeout) + " s";
        else if (text.find("nreachable") != std::string::npos || text.find("No route") != std::string::npos)
            why = "h\xF4te injoignable";
    }
    if (!why.empty()) return "Connexion \xE0 " + archive(s) + " impossible pour le " + service + " : " + why;
    if (code == DIMSEC_NODATAAVAILABLE || code == DULC_READTIMEOUT)
        return capitalised(archive(s)) + " n'a pas r\xE9pondu en " + std::to_string(timeout) + " s (" + service + ")";
    if (code == DULC_PEERABORTEDASSOCIATION || code == DULC_NETWORKCLOSED || code == DIMSEC_READPDVFAILED ||
        code == DULC_TCPIOERROR || code == DIMSEC_SENDFAILED || code == DIMSEC_RECEIVEFAILED)
        return "Connexion avec " + archive(s) + " coup\xE9" "e pendant le " + service;
    return with_detail("\xC9" "chec du " + service + " avec " + archive(s), text);
}

// DCMTK gives each new socket this read time-out (60 s unless told), which bounds the TLS handshake.
constexpr int READ_TIMEOUT = 60;

// A TLS layer that keeps its connection's socket, to lift its read time-out once the handshake is over.
class TimedTlsLayer : public DcmTLSTransportLayer {
public:
    TimedTlsLayer() : DcmTLSTransportLayer(NET_REQUESTOR, nullptr, OFTrue) {}
    DcmTransportConnection* createConnection(DcmNativeSocketType s, OFBool secure) override {
        socket = s;
        return DcmTLSTransportLayer::createConnection(s, secure);
    }
    DcmNativeSocketType socket = -1;
};

// The TLS layer of an association; a base of Scu, made before and destroyed after the DcmSCU
// that uses it.
struct TlsLayer {
    std::unique_ptr<TimedTlsLayer> layer;

    // TLS 1.2 or later (the non-downgrading BCP 195 profile); the archive's certificate must be
    // signed by an authority of s.ca and carry s.host (as an IP address or a name); ours when given.
    bool make(const Settings& s, std::string& error) {
        const auto refuse = [&error](const std::string& what, const OFCondition& c) {
            error = with_detail("TLS : " + what, c.text());
            return false;
        };
        layer = std::make_unique<TimedTlsLayer>();
        if (!*layer) {
            error = "TLS indisponible : la biblioth\xE8que OpenSSL n'a pas pu \xEAtre initialis\xE9" "e";
            return false;
        }
        OFCondition c = layer->setTLSProfile(TSP_Profile_BCP195_ND);
        if (c.good()) c = layer->activateCipherSuites();
        if (c.bad()) return refuse("profil de s\xE9" "curit\xE9 indisponible", c);
        c = layer->addTrustedCertificateFile(s.ca.c_str(), DCF_Filetype_PEM);
        if (c.bad()) return refuse("certificat de l'autorit\xE9 illisible (" + latin1_of(s.ca) + ")", c);
        if (!s.cert.empty()) {
            c = layer->setPrivateKeyFile(s.key.c_str(), DCF_Filetype_PEM);
            if (c.bad()) return refuse("cl\xE9 priv\xE9" "e illisible (" + latin1_of(s.key) + ")", c);
            c = layer->setCertificateFile(s.cert.c_str(), DCF_Filetype_PEM);
            if (c.bad()) return refuse("certificat de ce poste illisible (" + latin1_of(s.cert) + ")", c);
            if (!layer->checkPrivateKeyMatchesCertificate()) {
                error = "TLS : la cl\xE9 priv\xE9" "e " + latin1_of(s.key) + " ne correspond pas au certificat " +
                        latin1_of(s.cert);
                return false;
            }
        }
        layer->setCertificateVerification(DCV_requireCertificate);
        certificate_fault = X509_V_OK;
        SSL_CTX_set_verify(layer->getNativeHandle(), SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT,
                           remember_certificate_fault);
        // The authority's signature alone would let any certificate it signed stand for the archive.
        X509_VERIFY_PARAM* check = SSL_CTX_get0_param(layer->getNativeHandle());
        if (X509_VERIFY_PARAM_set1_ip_asc(check, s.host.c_str()) != 1 &&
            X509_VERIFY_PARAM_set1_host(check, s.host.c_str(), s.host.size()) != 1) {
            error = "TLS : nom d'h\xF4te inutilisable pour v\xE9rifier le certificat : " + s.host;
            return false;
        }
        return true;
    }
};

// A DcmSCU that writes the instances of a C-GET into a folder and watches the clock.
class Scu : private TlsLayer, public DcmSCU {
public:
    explicit Scu(const Settings& s) : settings(s) {
        quiet_dcmtk();
        setAETitle(s.aet.c_str());
        setPeerAETitle(s.peer_aet.c_str());
        setPeerHostName(s.host.c_str());
        setPeerPort(Uint16(s.port));
        setConnectionTimeout(s.connect_timeout);
        setACSETimeout(Uint32(s.connect_timeout));
        setDIMSEBlockingMode(DIMSE_NONBLOCKING);
        setDIMSETimeout(Uint32(s.dimse_timeout));
        setDatasetConversionMode(OFTrue);
        deadline = Clock::now() + std::chrono::seconds(s.transfer_timeout);
    }
    ~Scu() override {
        if (isConnected()) abortAssociation();
    }

    // Opens the association; error names the archive and the service.
    bool open(const std::string& service, std::string& error) {
        if (settings.tls && !make(settings, error)) {
            error = "Connexion \xE0 " + archive(settings) + " impossible pour le " + service + " : " + error;
            return false;
        }
        // The handshake waits no longer than the connection time-out.
        dcmSocketReceiveTimeout.set(settings.tls ? settings.connect_timeout : READ_TIMEOUT);
        OFCondition c = initNetwork();
        if (c.good() && settings.tls) c = useSecureConnection(layer.get());
        if (c.good()) c = negotiateAssociation();
        if (c.bad()) {
            error = network_failure(c, settings, service, settings.connect_timeout);
            // With TLS 1.3 the archive refuses our certificate (or its absence) after our side of the
            // handshake: the association is then cut. Over plain TCP, a TLS port cuts it too.
            const unsigned short code = c.module() == OFM_dcmnet ? c.code() : 0;
            const bool cut = code == DULC_NETWORKCLOSED || code == DULC_PEERABORTEDASSOCIATION || code == DULC_TCPIOERROR;
            if (cut && settings.tls)
                error += " : l'archive a mis fin \xE0 la session TLS (attend-elle un certificat de ce poste qu'elle "
                         "reconna\xEEt ?)";
            else if (cut)
                error += " (l'archive exige-t-elle TLS ?)";
            return false;
        }
        // Past the handshake, a read waits as long as over plain TCP, or as a DIMSE message may.
        if (layer && layer->socket != -1) {
            timeval t{};
            t.tv_sec = std::max(settings.dimse_timeout, READ_TIMEOUT);
            setsockopt(layer->socket, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
        }
        return true;
    }
    T_ASC_PresentationContextID context(const char* abstract, const std::string& service, std::string& error) {
        const T_ASC_PresentationContextID id = findAnyPresentationContextID(abstract, "");
        if (id == 0) error = capitalised(archive(settings)) + " refuse le service " + service;
        return id;
    }
    bool late() const { return Clock::now() > deadline; }

    // C-GET state.
    const Settings& settings;
    Clock::time_point deadline;
    fs::path dir;
    std::vector<std::string> written;
    const Progress* progress = nullptr;
    int done = 0, total = 0;
    bool cancelled = false, timed_out = false;
    std::string store_error;

protected:
    // Keeps each instance as DIR/<SOP Instance UID>.dcm in explicit VR little endian, written
    // beside and renamed so that no half file is left.
    OFCondition handleSTORERequest(const T_ASC_PresentationContextID, DcmDataset* incoming, OFBool& go_on,
                                   Uint16& status) override {
        DcmFileFormat file(incoming, OFFalse);  // takes the dataset over
        OFString uid;
        file.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, uid);
        std::string name = uid.c_str();
        const bool plain = !name.empty() && name.size() <= 64 &&
                           name.find_first_not_of("0123456789.") == std::string::npos;
        if (!plain) name = "instance-" + std::to_string(done + 1);
        const fs::path path = dir / (name + ".dcm");
        const bool kept = write_whole(
            path.string(),
            [&file](const std::string& temporary, std::string& why) {
                const OFCondition c = file.saveFile(temporary.c_str(), EXS_LittleEndianExplicit);
                if (c.bad()) why = c.text();
                return c.good();
            },
            store_error);
        if (!kept) {
            status = STATUS_STORE_Refused_OutOfResources;
            go_on = OFFalse;
            return EC_Normal;
        }
        if (std::find(written.begin(), written.end(), path.string()) == written.end()) written.push_back(path.string());
        done++;
        status = STATUS_Success;
        check(0);
        go_on = !(cancelled || timed_out);
        return EC_Normal;
    }
    OFCondition handleCGETResponse(const T_ASC_PresentationContextID id, RetrieveResponse* r, OFBool& go_on) override {
        const OFCondition c = DcmSCU::handleCGETResponse(id, r, go_on);
        const int known = r->m_numberOfRemainingSubops + r->m_numberOfCompletedSubops + r->m_numberOfFailedSubops +
                          r->m_numberOfWarningSubops;
        if (known > total) total = known;
        if (go_on) {
            check(0);
            go_on = !(cancelled || timed_out);
        }
        return c;
    }
    void notifyRECEIVEProgress(const unsigned long bytes) override { check(bytes); }

private:
    void check(unsigned long bytes) {
        if (progress && *progress && !(*progress)(done, total, bytes)) cancelled = true;
        if (late()) timed_out = true;
    }
};

const OFList<OFString> LITTLE_ENDIAN_SYNTAXES = [] {
    OFList<OFString> l;
    l.push_back(UID_LittleEndianExplicitTransferSyntax);
    l.push_back(UID_LittleEndianImplicitTransferSyntax);
    return l;
}();

std::string get(DcmDataset* d, const DcmTagKey& tag) {
    OFString v;
    if (d) d->findAndGetOFStringArray(tag, v);
    return v.c_str();
}

// A text of a C-FIND answer in Latin-1, whatever of the two usual character sets it came in.
std::string text_of(DcmDataset* d, const DcmTagKey& tag) {
    const std::string v = get(d, tag);
    return get(d, DCM_SpecificCharacterSet).find("ISO_IR 192") != std::string::npos ? latin1_of(v) : v;
}

std::string shown_date(const std::string& d) {
    return d.size() == 8 ? d.substr(6, 2) + "/" + d.substr(4, 2) + "/" + d.substr(0, 4) : d;
}

// One C-FIND; answers: the datasets of the pending responses (owned by the caller via unique_ptr).
bool c_find(Scu& scu, T_ASC_PresentationContextID id, DcmDataset& query,
            std::vector<std::unique_ptr<DcmDataset>>& answers, std::string& error) {
    OFList<QRResponse*> responses;
    const OFCondition c = scu.sendFINDRequest(id, &query, &responses);
    unsigned final_status = 0;
    for (QRResponse* r : responses) {
        if ((r->m_status == 0xFF00 || r->m_status == 0xFF01) && r->m_dataset) {
            answers.emplace_back(r->m_dataset);
            r->m_dataset = nullptr;
        } else {
            final_status = r->m_status;
        }
        delete r;
    }
    if (c.bad()) {
        error = network_failure(c, scu.settings, "C-FIND", scu.settings.dimse_timeout);
        return false;
    }
    if (final_status != 0) {
        error = capitalised(archive(scu.settings)) + " a refus\xE9 la recherche (C-FIND) : " + status_text(final_status);
        return false;
    }
    if (scu.late()) {
        error = "Recherche interrompue : " + archive(scu.settings) + " n'a pas fini en " +
                std::to_string(scu.settings.transfer_timeout) + " s (C-FIND)";
        return false;
    }
    return true;
}

bool usable(const Settings& s, std::string& error) {
    const std::string why = check_settings(s);
    if (!why.empty()) error = "R\xE9glages de l'archive invalides : " + why;
    return why.empty();
}

}  // namespace

bool echo(const Settings& s, std::string& error) {
    if (!usable(s, error)) return false;
    Scu scu(s);
    OFList<OFString> implicit;
    implicit.push_back(UID_LittleEndianImplicitTransferSyntax);
    scu.addPresentationContext(UID_VerificationSOPClass, implicit);
    if (!scu.open("C-ECHO", error)) return false;
    const T_ASC_PresentationContextID id = scu.context(UID_VerificationSOPClass, "C-ECHO", error);
    if (id == 0) return false;
    const OFCondition c = scu.sendECHORequest(id);
    if (c.bad()) {
        error = network_failure(c, s, "C-ECHO", s.dimse_timeout);
        return false;
    }
    scu.releaseAssociation();
    return true;
}

bool find(const Settings& s, const Query& q, std::vector<SeriesRow>& rows, std::string& error) {
    rows.clear();
    if (!usable(s, error)) return false;
    Scu scu(s);
    scu.addPresentationContext(UID_FINDStudyRootQueryRetrieveInformationModel, LITTLE_ENDIAN_SYNTAXES);
    if (!scu.open("C-FIND", error)) return false;
    const T_ASC_PresentationContextID id = scu.context(UID_FINDStudyRootQueryRetrieveInformationModel, "C-FIND", error);
    if (id == 0) return false;

    std::string name = q.patient;
    if (!name.empty() && name.find_first_of("*?") == std::string::npos) name += "*";
    for (char& c : name)  // names are shown with blanks for the '^' between their parts: either matches
        if (c == ' ') c = '?';
    std::string dates;
    if (!q.date_from.empty() || !q.date_to.empty())
        dates = q.date_from == q.date_to ? q.date_from : q.date_from + "-" + q.date_to;

    DcmDataset studies;
    studies.putAndInsertString(DCM_QueryRetrieveLevel, "STUDY");
    studies.putAndInsertString(DCM_SpecificCharacterSet, "ISO_IR 100");
    studies.putAndInsertString(DCM_PatientName, name.c_str());
    studies.putAndInsertString(DCM_PatientID, "");
    studies.putAndInsertString(DCM_StudyDate, dates.c_str());
    studies.putAndInsertString(DCM_StudyDescription, "");
    studies.putAndInsertString(DCM_StudyInstanceUID, "");
    studies.putAndInsertString(DCM_ModalitiesInStudy, q.modality.c_str());
    std::vector<std::unique_ptr<DcmDataset>> found;
    if (!c_find(scu, id, studies, found, error)) return false;

    for (const auto& study : found) {
        const std::string study_uid = get(study.get(), DCM_StudyInstanceUID);
        if (study_uid.empty()) continue;
        DcmDataset series;
        series.putAndInsertString(DCM_QueryRetrieveLevel, "SERIES");
        series.putAndInsertString(DCM_StudyInstanceUID, study_uid.c_str());
        series.putAndInsertString(DCM_SeriesInstanceUID, "");
        series.putAndInsertString(DCM_Modality, q.modality.c_str());
        series.putAndInsertString(DCM_SeriesDescription, "");
        series.putAndInsertString(DCM_NumberOfSeriesRelatedInstances, "");
        std::vector<std::unique_ptr<DcmDataset>> in_study;
        if (!c_find(scu, id, series, in_study, error)) return false;
        for (const auto& se : in_study) {
            SeriesRow row;
            std::string pn = text_of(study.get(), DCM_PatientName);
            for (char& c : pn)
                if (c == '^') c = ' ';
            row.patient = pn.substr(0, pn.find_last_not_of(' ') + 1);
            row.patient_id = text_of(study.get(), DCM_PatientID);
            row.date = shown_date(get(study.get(), DCM_StudyDate));
            row.study_uid = study_uid;
            row.series_uid = get(se.get(), DCM_SeriesInstanceUID);
            row.description = text_of(se.get(), DCM_SeriesDescription);
            if (row.description.empty()) row.description = text_of(study.get(), DCM_StudyDescription);
            // The frame counts are held by the instances.
            DcmDataset images;
            images.putAndInsertString(DCM_QueryRetrieveLevel, "IMAGE");
            images.putAndInsertString(DCM_StudyInstanceUID, study_uid.c_str());
            images.putAndInsertString(DCM_SeriesInstanceUID, row.series_uid.c_str());
            images.putAndInsertString(DCM_SOPInstanceUID, "");
            images.putAndInsertString(DCM_NumberOfFrames, "");
            images.putAndInsertString(DCM_NumberOfTimeSlots, "");
            std::vector<std::unique_ptr<DcmDataset>> instances;
            if (!c_find(scu, id, images, instances, error)) return false;
            row.instances = int(instances.size());
            for (const auto& in : instances) {
                const int n = std::atoi(get(in.get(), DCM_NumberOfFrames).c_str());
                row.frames += n > 0 ? n : 1;
                const std::string slots = get(in.get(), DCM_NumberOfTimeSlots);
                if (!slots.empty()) row.time_slots = std::max(row.time_slots, std::atoi(slots.c_str()));
            }
            rows.push_back(row);
        }
    }
    std::sort(rows.begin(), rows.end(), [](const SeriesRow& a, const SeriesRow& b) {
        return std::tie(a.patient, a.study_uid, a.description, a.series_uid) <
               std::tie(b.patient, b.study_uid, b.description, b.series_uid);
    });
    scu.releaseAssociation();
    return true;
}

std::string gated_text(const SeriesRow& row) {
    if (row.time_slots < 0) return "?";
    return row.time_slots > 1 ? "oui (" + std::to_string(row.time_slots) + ")" : "non";
}

bool get_series(const Settings& s, const std::string& series_uid, const std::string& dir,
                std::vector<std::string>& files, std::string& error, const Progress& progress) {
    files.clear();
    if (!usable(s, error)) return false;
    if (series_uid.empty() || series_uid.size() > 64 || series_uid.find_first_not_of("0123456789.") != std::string::npos) {
        error = "UID de s\xE9rie invalide : " + latin1_of(series_uid);
        return false;
    }
    Scu scu(s);
    scu.addPresentationContext(UID_FINDStudyRootQueryRetrieveInformationModel, LITTLE_ENDIAN_SYNTAXES);
    scu.addPresentationContext(UID_GETStudyRootQueryRetrieveInformationModel, LITTLE_ENDIAN_SYNTAXES);
    // C-GET brings the instances back over this association: we take the storage role for them.
    for (const char* sop : {UID_NuclearMedicineImageStorage, UID_SecondaryCaptureImageStorage,
                            UID_ComprehensiveSRStorage, UID_EnhancedSRStorage, UID_BasicTextSRStorage})
        scu.addPresentationContext(sop, LITTLE_ENDIAN_SYNTAXES, ASC_SC_ROLE_SCP);
    if (!scu.open("C-GET", error)) return false;
    const T_ASC_PresentationContextID find_id =
        scu.context(UID_FINDStudyRootQueryRetrieveInformationModel, "C-FIND", error);
    if (find_id == 0) return false;
    const T_ASC_PresentationContextID get_id = scu.context(UID_GETStudyRootQueryRetrieveInformationModel, "C-GET", error);
    if (get_id == 0) return false;

    // Its study, which the Study Root C-GET needs.
    DcmDataset q;
    q.putAndInsertString(DCM_QueryRetrieveLevel, "SERIES");
    q.putAndInsertString(DCM_StudyInstanceUID, "");
    q.putAndInsertString(DCM_SeriesInstanceUID, series_uid.c_str());
    q.putAndInsertString(DCM_NumberOfSeriesRelatedInstances, "");
    std::vector<std::unique_ptr<DcmDataset>> found;
    if (!c_find(scu, find_id, q, found, error)) return false;
    if (found.empty()) {
        error = "S\xE9rie " + series_uid + " introuvable sur " + archive(s);
        return false;
    }
    const std::string study_uid = get(found[0].get(), DCM_StudyInstanceUID);
    scu.total = std::atoi(get(found[0].get(), DCM_NumberOfSeriesRelatedInstances).c_str());

    // The folder; what this call makes, it removes on failure.
    std::error_code ec;
    fs::path made;
    for (fs::path p = fs::absolute(dir, ec); !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
        made = p;
        if (p == p.parent_path()) break;
    }
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        error = "Impossible de cr\xE9" "er le dossier " + latin1_of(dir);
        if (!made.empty()) fs::remove_all(made, ec);
        return false;
    }
    scu.dir = dir;
    scu.progress = &progress;

    DcmDataset g;
    g.putAndInsertString(DCM_QueryRetrieveLevel, "SERIES");
    g.putAndInsertString(DCM_StudyInstanceUID, study_uid.c_str());
    g.putAndInsertString(DCM_SeriesInstanceUID, series_uid.c_str());
    OFList<RetrieveResponse*> responses;
    const OFCondition c = scu.sendCGETRequest(get_id, &g, &responses);
    unsigned final_status = 0xFFFF;
    int failed = 0;
    for (RetrieveResponse* r : responses) {
        if (r->m_status != 0xFF00 && r->m_status != 0xFF01) final_status = r->m_status;
        failed = std::max(failed, int(r->m_numberOfFailedSubops));
        delete r;
    }
    const std::string what = "la r\xE9" "cup\xE9ration de la s\xE9rie (C-GET) depuis " + archive(s);
    if (!scu.store_error.empty()) error = scu.store_error;
    else if (scu.cancelled) error = "R\xE9" "cup\xE9ration annul\xE9" "e";
    else if (scu.timed_out)
        error = capitalised(what) + " a d\xE9pass\xE9 " + std::to_string(s.transfer_timeout) + " s";
    else if (c.bad()) error = network_failure(c, s, "C-GET", s.dimse_timeout);
    else if (final_status != 0x0000 || failed > 0)
        error = "\xC9" "chec de " + what + " : " +
                (final_status == 0xFFFF ? std::string("pas de r\xE9ponse finale") : status_text(final_status)) +
                (failed > 0 ? ", " + std::to_string(failed) + " instance(s) non transmise(s)" : "");
    else if (scu.written.empty()) error = "Aucune instance re\xE7ue lors de " + what;
    if (!error.empty()) {
        if (scu.isConnected()) scu.abortAssociation();
        for (const std::string& f : scu.written) fs::remove(f, ec);
        if (!made.empty()) fs::remove_all(made, ec);
        return false;
    }
    scu.releaseAssociation();
    files = scu.written;
    return true;
}

bool send(const Settings& s, const std::vector<std::string>& files, std::string& error) {
    if (!usable(s, error)) return false;
    if (files.empty()) {
        error = "Aucun fichier \xE0 envoyer";
        return false;
    }
    quiet_dcmtk();
    // Each file's SOP class and transfer syntax, to propose them.
    std::map<std::string, std::set<std::string>> syntaxes;
    for (const std::string& f : files) {
        DcmFileFormat ff;
        OFString sop, ts;
        if (ff.loadFile(f.c_str()).bad() || ff.getMetaInfo()->findAndGetOFString(DCM_MediaStorageSOPClassUID, sop).bad() ||
            ff.getMetaInfo()->findAndGetOFString(DCM_TransferSyntaxUID, ts).bad()) {
            error = latin1_of(f) + " n'est pas un fichier DICOM lisible (aucun envoi fait)";
            return false;
        }
        syntaxes[sop.c_str()].insert(ts.c_str());
    }
    Scu scu(s);
    for (const auto& [sop, tss] : syntaxes) {
        OFList<OFString> l;
        for (const std::string& t : tss) l.push_back(t.c_str());
        for (const char* t : {UID_LittleEndianExplicitTransferSyntax, UID_LittleEndianImplicitTransferSyntax})
            if (!tss.count(t)) l.push_back(t);
        scu.addPresentationContext(sop.c_str(), l);
    }
    if (!scu.open("C-STORE", error)) return false;
    for (const std::string& f : files) {
        DcmFileFormat ff;
        OFString sop, ts;
        ff.loadFile(f.c_str());
        ff.getMetaInfo()->findAndGetOFString(DCM_MediaStorageSOPClassUID, sop);
        ff.getMetaInfo()->findAndGetOFString(DCM_TransferSyntaxUID, ts);
        const T_ASC_PresentationContextID id = scu.findAnyPresentationContextID(sop, ts);
        if (id == 0) {
            error = capitalised(archive(s)) + " refuse la classe SOP " + sop.c_str() + " de " + latin1_of(f) + " (C-STORE)";
            return false;
        }
        Uint16 status = 0;
        const OFCondition c = scu.sendSTORERequest(id, f.c_str(), nullptr, status);
        if (c.bad()) {
            error = network_failure(c, s, "C-STORE de " + latin1_of(f), s.dimse_timeout);
            return false;
        }
        if (!status_ok(status)) {
            error = capitalised(archive(s)) + " a refus\xE9 " + latin1_of(f) + " (C-STORE) : " + status_text(status);
            return false;
        }
        if (scu.late()) {
            error = "Envoi interrompu : " + archive(s) + " n'a pas tout re\xE7u en " + std::to_string(s.transfer_timeout) +
                    " s (C-STORE)";
            return false;
        }
    }
    scu.releaseAssociation();
    return true;
}

}  // namespace pacs
